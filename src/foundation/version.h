// Version line of the library, for the host's version output.
#ifndef FOUNDATION_VERSION_H
#define FOUNDATION_VERSION_H

extern "C" {
// Prints the version line through the core message library.
void libvdweb_print_verid();
// Writes the version line into `buf`, which must hold 128 bytes.
void libvdweb_sprintf_verid(char* buf);
}

#endif
