// Reader of the server's RPC response stream, fed bytes as they arrive.
//
// A response is a sequence of parts, each "--B" CRLF, header lines "Name: value" CRLF, an
// empty line, exactly Content-Length bytes of content and CRLF, closed by the trailer
// "--B--" CRLF. Parts are handed out as soon as their last byte is in; the first deviation
// from the format stops the reader with a message in `error`.

const CR = 13;
const LF = 10;
// A header line longer than this is no header line: the reader stops rather than buffer it.
const MAX_LINE = 64 * 1024;

const utf8 = new TextDecoder('utf-8');

export class Part {
    constructor() {
        this.headers = [];  // [name, value] in the order sent
        this.content = new Uint8Array(0);
    }
    // The first header with this name (case as sent, compared without case), or null.
    header(name) {
        const want = name.toLowerCase();
        for (const [n, v] of this.headers) {
            if (n.toLowerCase() === want) return v;
        }
        return null;
    }
    get name() {
        return this.header('Content-ID') || '';
    }
    get text() {
        return utf8.decode(this.content);
    }
}

// The boundary of a "multipart/mixed; boundary=B" content type, or ''.
export function boundaryOf(contentType) {
    const m = /;\s*boundary="?([^";]+)"?/i.exec(contentType || '');
    return m ? m[1] : '';
}

export class MultipartReader {
    constructor(boundary) {
        if (!boundary) throw new Error('a multipart reader needs a boundary');
        this.boundary = boundary;
        this.state = 'boundary';
        this.buf = new Uint8Array(0);
        this.pos = 0;
        this.current = null;
        this.left = 0;
        this.done = [];
        this.error = '';
    }

    get complete() {
        return this.state === 'done';
    }
    get failed() {
        return this.state === 'failed';
    }

    // Consumes bytes (a Uint8Array); false once the stream is known to be malformed.
    feed(bytes) {
        if (this.state === 'failed') return false;
        if (bytes.length) {
            if (this.state === 'done') return this.fail('bytes after the trailer');
            const rest = this.buf.subarray(this.pos);
            const joined = new Uint8Array(rest.length + bytes.length);
            joined.set(rest, 0);
            joined.set(bytes, rest.length);
            this.buf = joined;
            this.pos = 0;
        }
        while (this.step()) {
        }
        return this.state !== 'failed';
    }

    // Called when the stream has ended: false unless the trailer was read.
    finish() {
        if (this.state === 'failed') return false;
        if (this.state !== 'done') return this.fail('the stream ended before its trailer');
        return true;
    }

    // Parts completed since the last call.
    takeParts() {
        const out = this.done;
        this.done = [];
        return out;
    }

    fail(why) {
        this.state = 'failed';
        this.error = why;
        return false;
    }

    // A CRLF-terminated line without its CRLF, or null when it is not all here yet.
    line() {
        const b = this.buf;
        for (let i = this.pos; i + 1 < b.length; ++i) {
            if (b[i] === CR && b[i + 1] === LF) {
                const text = utf8.decode(b.subarray(this.pos, i));
                this.pos = i + 2;
                return text;
            }
            if (b[i] === LF) {
                this.fail('a line ends without CR');
                return null;
            }
        }
        if (b.length - this.pos > MAX_LINE) this.fail('a header line is too long');
        return null;
    }

    step() {
        switch (this.state) {
            case 'boundary': {
                const l = this.line();
                if (l === null) return false;
                if (l === '--' + this.boundary + '--') {
                    this.state = 'done';
                    return this.pos === this.buf.length || this.fail('bytes after the trailer');
                }
                if (l !== '--' + this.boundary) return this.fail('expected a boundary line');
                this.current = new Part();
                this.state = 'headers';
                return true;
            }
            case 'headers': {
                const l = this.line();
                if (l === null) return false;
                if (l === '') {
                    const len = this.current.header('Content-Length');
                    if (len === null || !/^[0-9]{1,15}$/.test(len)) {
                        return this.fail('a part without a valid Content-Length');
                    }
                    this.left = Number(len);
                    this.chunks = [];
                    this.state = 'content';
                    return true;
                }
                const colon = l.indexOf(':');
                if (colon <= 0) return this.fail('a header line without a name');
                this.current.headers.push([l.slice(0, colon), l.slice(colon + 1).trim()]);
                return true;
            }
            case 'content': {
                const avail = Math.min(this.left, this.buf.length - this.pos);
                if (avail > 0) {
                    this.chunks.push(this.buf.slice(this.pos, this.pos + avail));
                    this.pos += avail;
                    this.left -= avail;
                }
                if (this.left > 0) return false;
                let total = 0;
                for (const c of this.chunks) total += c.length;
                const content = new Uint8Array(total);
                let at = 0;
                for (const c of this.chunks) {
                    content.set(c, at);
                    at += c.length;
                }
                this.current.content = content;
                this.chunks = null;
                this.state = 'content-end';
                return true;
            }
            case 'content-end': {
                if (this.buf.length - this.pos < 2) return false;
                if (this.buf[this.pos] !== CR || this.buf[this.pos + 1] !== LF) {
                    return this.fail('a part runs past its Content-Length');
                }
                this.pos += 2;
                this.done.push(this.current);
                this.current = null;
                this.state = 'boundary';
                return true;
            }
            default:
                return false;
        }
    }
}

// Words of a header value written as "=?UTF-8?q?...?=" or "=?UTF-8?b?...?=", decoded.
export function decodeWords(value) {
    if (!value || value.indexOf('=?') < 0) return value || '';
    return value.replace(/=\?([^?]+)\?([qQbB])\?([^?]*)\?=/g, (whole, charset, kind, text) => {
        let bytes;
        if (kind === 'b' || kind === 'B') {
            const bin = atob(text);
            bytes = Uint8Array.from(bin, (c) => c.charCodeAt(0));
        } else {
            const out = [];
            for (let i = 0; i < text.length; ++i) {
                const c = text[i];
                if (c === '_') {
                    out.push(32);
                } else if (c === '=' && /^[0-9A-Fa-f]{2}$/.test(text.substr(i + 1, 2))) {
                    out.push(parseInt(text.substr(i + 1, 2), 16));
                    i += 2;
                } else {
                    out.push(c.charCodeAt(0));
                }
            }
            bytes = Uint8Array.from(out);
        }
        try {
            return new TextDecoder(charset, {fatal: true}).decode(bytes);
        } catch (e) {
            return whole;
        }
    });
}
