// RPCs to the server at /vdweb: the argument list, the POST with the session's credentials,
// and the response read part by part while it arrives.
import {MultipartReader, boundaryOf, decodeWords} from './multipart.js';

export const RPC_URL = '/vdweb';
const KEY = 'vdweb-ui.credentials';

// Credentials live in this tab's session storage only: closing the browser forgets them.
export function credentials() {
    try {
        return JSON.parse(sessionStorage.getItem(KEY) || 'null');
    } catch (e) {
        return null;
    }
}
export function setCredentials(user, password) {
    if (user === null) sessionStorage.removeItem(KEY);
    else sessionStorage.setItem(KEY, JSON.stringify({user, password}));
}

// An argument list: "Name=value" lines, line feeds in values written as "%0A".
export function encodeArgs(list) {
    let out = '';
    for (const [name, value] of list) {
        out += value === undefined ? name + '\n' : name + '=' + String(value).replace(/\n/g, '%0A') + '\n';
    }
    return out;
}

function basic(user, password) {
    const bytes = new TextEncoder().encode(user + ':' + password);
    let bin = '';
    for (const b of bytes) bin += String.fromCharCode(b);
    return 'Basic ' + btoa(bin);
}

export class RpcError extends Error {
    constructor(message, status) {
        super(message);
        this.status = status;
    }
}

async function gunzip(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
}

// Calls `rpc` ("VDW_Vdcore::" added to a bare name) with `args`; `onPart` sees each part but
// the status as it arrives. Resolves with the status part; rejects with an RpcError carrying
// the status text when the RPC failed or the answer was no RPC answer.
export async function call(rpc, args, onPart = () => {}, creds = credentials()) {
    const name = rpc.startsWith('VDW_') ? rpc : 'VDW_Vdcore::' + rpc;
    const body = new URLSearchParams({rpc: name, rpcargs: encodeArgs(args)});
    const headers = {'Content-Type': 'application/x-www-form-urlencoded'};
    if (creds) headers.Authorization = basic(creds.user, creds.password);
    const resp = await fetch(RPC_URL, {method: 'POST', body, headers, credentials: 'omit', cache: 'no-store'});
    const boundary = boundaryOf(resp.headers.get('Content-Type'));
    if (!boundary) {
        throw new RpcError(resp.status === 401 ? 'The user name or password was not accepted.'
                                               : 'The server answered HTTP ' + resp.status + '.', '');
    }
    const reader = new MultipartReader(boundary);
    let status = null;
    const handle = async (parts) => {
        for (const p of parts) {
            if (p.header('Content-Type') === 'application/x-gzip') {
                p.content = await gunzip(p.content);
            }
            if (p.name === 'Status' && p.header('Status') !== null) {
                status = p;
            } else if (p.name !== 'QLMXKeepalive') {
                onPart(p);
            }
        }
    };
    const stream = resp.body.getReader();
    for (;;) {
        const {value, done} = await stream.read();
        if (done) break;
        if (!reader.feed(value)) break;
        await handle(reader.takeParts());
    }
    if (!reader.failed) reader.finish();
    await handle(reader.takeParts());
    if (reader.failed) throw new RpcError('The answer was cut off or garbled: ' + reader.error, '');
    if (!status) throw new RpcError('The answer has no status.', '');
    const code = status.header('Status');
    if (code !== '0') {
        throw new RpcError(status.text.trim() || 'The RPC failed with status ' + code + '.', code);
    }
    return status;
}

// Headers of a part as a plain object, encoded words decoded.
export function fields(part) {
    const o = {};
    for (const [n, v] of part.headers) {
        if (!(n in o)) o[n] = decodeWords(v);
    }
    return o;
}
