// The response stream reader, the RPC call over it, and the block stream's rows:
// node --test web/ui/test
import test from 'node:test';
import assert from 'node:assert/strict';
import {MultipartReader, boundaryOf, decodeWords} from '../multipart.js';
import {call, RpcError} from '../rpc.js';
import {diffRows, mergeBlocks} from '../diff.js';

const B = '------------------------aAJYnbd98Xui1cX9oiQh';
const enc = new TextEncoder();

function part(headers, content) {
    const body = enc.encode(content);
    let h = `--${B}\r\n`;
    for (const [n, v] of headers) h += `${n}: ${v}\r\n`;
    return h + `Content-Length: ${body.length}\r\n\r\n` + content + '\r\n';
}
const stream = part([['Content-ID', 'History'], ['Kind', 'make label']], 'a\r\n--' + B + '\r\nnot a part') +
    part([['Content-ID', 'Name'], ['Tag', '<img src=x>']], 'ünïcode') +
    part([['Content-ID', 'Status'], ['Status', '0']], '') + `--${B}--\r\n`;

function readAll(bytes, chunk) {
    const r = new MultipartReader(B);
    const parts = [];
    for (let i = 0; i < bytes.length; i += chunk) {
        r.feed(bytes.subarray(i, i + chunk));
        parts.push(...r.takeParts());
    }
    r.finish();
    return {r, parts};
}

test('parts are whole and the same however the bytes arrive', () => {
    const bytes = enc.encode(stream);
    for (const chunk of [1, 2, 7, 64, bytes.length]) {
        const {r, parts} = readAll(bytes, chunk);
        assert.equal(r.error, '', `chunk ${chunk}`);
        assert.ok(r.complete);
        assert.deepEqual(parts.map((p) => p.name), ['History', 'Name', 'Status']);
        assert.equal(parts[0].text, 'a\r\n--' + B + '\r\nnot a part', 'a boundary inside content is content');
        assert.equal(parts[0].header('kind'), 'make label');
        assert.equal(parts[1].text, 'ünïcode');
        assert.equal(parts[1].header('Tag'), '<img src=x>');
    }
});

// A version's bytes that hold the boundary line, a status part saying all went well and
// the trailer: a reader that looked for the boundary would end the answer there.
const forged = 'line\r\n--' + B + '\r\nContent-ID: Status\r\nContent-Length: 0\r\nStatus: 0\r\n' +
    'HasNonOkMsg: 0\r\n\r\n\r\n--' + B + '--\r\n';
const refused = 'VDSRV1063: not yours';
const answer = part([['Content-ID', 'RpcResult'], ['Content-Type', 'application/octet-stream']], forged) +
    part([['Content-ID', 'Status'], ['Status', '1063'], ['HasNonOkMsg', '0']], refused) + `--${B}--\r\n`;

test('a part whose bytes forge a status part is read whole, by its length', () => {
    const bytes = enc.encode(answer);
    for (const chunk of [1, 3, 50, bytes.length]) {
        const {r, parts} = readAll(bytes, chunk);
        assert.equal(r.error, '', `chunk ${chunk}`);
        assert.ok(r.complete);
        assert.deepEqual(parts.map((p) => p.name), ['RpcResult', 'Status']);
        assert.equal(parts[0].text, forged);
        assert.equal(parts[1].header('Status'), '1063');
    }
});

test('the client acts on the real status, whatever a part holds', async () => {
    const saved = globalThis.fetch;
    const bytes = enc.encode(answer);
    globalThis.fetch = async () => new Response(new ReadableStream({
        start(controller) {
            for (let i = 0; i < bytes.length; i += 7) controller.enqueue(bytes.slice(i, i + 7));
            controller.close();
        },
    }), {headers: {'Content-Type': `multipart/mixed; boundary=${B}`}});
    try {
        const seen = [];
        await assert.rejects(
            call('read_content_rpc', [['ResourceSelector', 'x']], (p) => seen.push(p), {user: 'u', password: 'p'}),
            (e) => e instanceof RpcError && e.status === '1063' && e.message === refused);
        assert.deepEqual(seen.map((p) => p.name), ['RpcResult']);
        assert.equal(seen[0].text, forged);
    } finally {
        globalThis.fetch = saved;
    }
});

test('a part is handed out as soon as it is complete', () => {
    const r = new MultipartReader(B);
    const first = part([['Content-ID', 'One']], 'x');
    r.feed(enc.encode(first));
    assert.deepEqual(r.takeParts().map((p) => p.name), ['One']);
    assert.equal(r.complete, false);
});

test('malformed streams stop the reader with a reason', () => {
    const cases = [
        ['no boundary first', 'hello\r\n', /boundary/],
        ['no length', `--${B}\r\nContent-ID: X\r\n\r\nabc\r\n--${B}--\r\n`, /Content-Length/],
        ['length too short', `--${B}\r\nContent-Length: 1\r\n\r\nabc\r\n--${B}--\r\n`, /past its Content-Length/],
        ['bare LF', `--${B}\nContent-Length: 0\r\n`, /without CR/],
        ['header without name', `--${B}\r\n: x\r\n`, /without a name/],
        ['bytes after trailer', `--${B}--\r\nmore`, /after the trailer/],
        ['cut off', `--${B}\r\nContent-Length: 10\r\n\r\nabc`, /before its trailer/],
        ['negative length', `--${B}\r\nContent-Length: -1\r\n\r\n`, /Content-Length/],
    ];
    for (const [what, text, why] of cases) {
        const r = new MultipartReader(B);
        r.feed(enc.encode(text));
        r.finish();
        assert.ok(r.failed, what);
        assert.match(r.error, why, what);
    }
    const long = new MultipartReader(B);
    long.feed(enc.encode(`--${B}\r\nX: ` + 'y'.repeat(70000)));
    assert.ok(long.failed, 'an endless header line is refused, not buffered');
});

test('boundary from the content type, encoded words decoded', () => {
    assert.equal(boundaryOf(`multipart/mixed; boundary=${B}`), B);
    assert.equal(boundaryOf('multipart/mixed; boundary="q"'), 'q');
    assert.equal(boundaryOf('text/html'), '');
    assert.equal(decodeWords('=?UTF-8?q?first=0Acut?='), 'first\ncut');
    assert.equal(decodeWords('=?UTF-8?b?w7w=?='), 'ü');
    assert.equal(decodeWords('plain'), 'plain');
});

test('side-by-side rows pair each side and number its lines', () => {
    const rows = diffRows([
        {name: 'from_ver', kind: 'view_rel_pname', text: 'a.c'},
        {name: 'common', kind: 'common', text: 'l1\n'},
        {name: 'from_ver', kind: 'changed', text: 'l2\n'},
        {name: 'to_ver', kind: 'changed', text: 'L2\nL2b\n'},
        {name: 'common', kind: 'common', text: 'l3\n'},
        {name: 'from_ver', kind: 'deleted', text: 'l4\n'},
        {name: 'to_ver', kind: 'padding', text: ''},
    ]);
    const show = (c) => (c ? `${c.no}:${c.text}:${c.kind}` : '-');
    assert.deepEqual(rows.map((r) => show(r.left) + ' | ' + show(r.right)), [
        '1:l1:common | 1:l1:common',
        '2:l2:changed | 2:L2:changed',
        '- | 3:L2b:changed',
        '3:l3:common | 4:l3:common',
        '4:l4:deleted | -',
    ]);
});

test('a merge preview takes each stretch from the contributor the result names', () => {
    const part = (name, kind, text, choice = '', region = null) => ({name, kind, text, choice, region});
    const blocks = mergeBlocks([
        part('common', 'common', 'l1\n'),
        part('to_ver', 'changed', 'mine\n', '', '0'),
        part('from_ver', 'changed', 'theirs\n', '', '0'),
        part('base_ver', 'changed', 'l2\n', '', '0'),
        part('result', 'merged', '*** mark ***', 'from_ver', '0'),
        part('common', 'common', 'l3\n'),
        part('to_ver', 'changed', 'a\n', '', '1'),
        part('from_ver', 'changed', 'b\n', '', '1'),
        part('base_ver', 'deleted', '', '', '1'),
        part('result', 'merging', '*** mark ***', '', '1'),
    ]);
    assert.deepEqual(blocks.map((b) => [b.kind, b.choice, b.text]), [
        ['common', '', 'l1\n'], ['merged', 'from_ver', 'theirs\n'], ['common', '', 'l3\n'], ['merging', '', ''],
    ]);
    assert.deepEqual(blocks[3].sides, {to_ver: 'a\n', from_ver: 'b\n', base_ver: ''});
});
