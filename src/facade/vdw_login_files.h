// What the login cache and the login throttle keep in the site's temporary directory: a
// private directory each, a random key of the site's in it, and files named by a hash, so
// that any user name or address makes a safe leaf of one length.
#ifndef OPS_LOGIN_VDW_LOGIN_FILES_H
#define OPS_LOGIN_VDW_LOGIN_FILES_H

#include <string>

enum { VDW_LOGIN_KEY_SIZE = 32 };

// Whether the hashes can be made (libcrypto set up without what they do not need).
bool vdw_login_crypto_ready();
// `dir`, made on first use: 0700 and the site account's own; "" when it cannot be.
std::string vdw_login_private_dir(const std::string& dir);
// The site's random key, kept in `dir`/key and made on first use (two first uses at once
// agree on whichever stayed); false when it can be neither read nor made.
bool vdw_login_site_key(const std::string& dir, unsigned char (&key)[VDW_LOGIN_KEY_SIZE]);
// `dir`/<prefix><SHA-256 of text, hex>; "" when the hash cannot be made.
std::string vdw_login_hashed_path(const std::string& dir, const std::string& prefix,
                                  const std::string& text);

#endif
