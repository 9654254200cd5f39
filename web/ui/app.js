// The browser client: a hash route per page, so every page can be bookmarked and shared.
// Every text that comes from the repository goes into the page as a text node.
import {call, credentials, setCredentials, fields, RpcError} from './rpc.js';
import {drawVersionTree} from './vtree.js';
import {diffRows, mergeBlocks} from './diff.js';

const main = document.getElementById('main');

// ---- small DOM helpers (text only: no markup is ever parsed from strings) ----

function el(tag, attrs = {}, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs)) {
        if (k === 'class') e.className = v;
        else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
        else e.setAttribute(k, v);
    }
    for (const c of children) {
        if (c === null || c === undefined) continue;
        e.append(typeof c === 'string' ? document.createTextNode(c) : c);
    }
    return e;
}

export function route(page, params = {}) {
    const q = new URLSearchParams(params).toString();
    return '#/' + page + (q ? '?' + q : '');
}
function link(text, page, params) {
    return el('a', {href: route(page, params)}, text);
}

function page(title, ...children) {
    main.replaceChildren(el('h1', {}, title), ...children);
    document.title = title + ' · Verdane web';
    main.focus({preventScroll: true});
}

function showError(where, err) {
    const text = err instanceof RpcError ? err.message : 'Error: ' + (err && err.message || err);
    where.append(el('div', {class: 'error', role: 'alert'}, text));
}

// A status line that counts while a long answer streams in.
function progress(what) {
    const p = el('p', {class: 'progress', role: 'status'}, 'Loading ' + what + '…');
    return {
        node: p,
        count(n) { p.textContent = 'Loading ' + what + '… ' + n + ' so far'; },
        done(text) { p.textContent = text; },
    };
}

function versionOf(object) {
    const at = object.indexOf('@@');
    return at < 0 ? null : {element: object.slice(0, at), version: object.slice(at + 2)};
}
function previousVersion(vx) {
    const m = /^(.*)\/(\d+)$/.exec(vx);
    return m && Number(m[2]) > 0 ? m[1] + '/' + (Number(m[2]) - 1) : null;
}

// ---- pages ----

function signIn(next) {
    const user = el('input', {type: 'text', id: 'user', name: 'user', autocomplete: 'username', required: ''});
    const pass = el('input', {type: 'password', id: 'password', name: 'password', autocomplete: 'current-password', required: ''});
    const out = el('div', {'aria-live': 'polite'});
    const form = el('form', {class: 'stack', id: 'signin'},
        el('label', {for: 'user'}, 'User name'), user,
        el('label', {for: 'password'}, 'Password'), pass,
        el('button', {type: 'submit'}, 'Sign in'), out);
    form.addEventListener('submit', async (ev) => {
        ev.preventDefault();
        out.replaceChildren();
        const creds = {user: user.value, password: pass.value};
        try {
            await call('login_rpc', [['trace_subsys', ''], ['trace_level', '0'], ['meter', '0'],
                ['min_clnt_proto_ver', '1'], ['max_clnt_proto_ver', '6'],
                ['clienttype', 'ClientType.BROWSER'], ['client_supports_tnweb_browser', '1'],
                ['server_cache_tnlogin', '0']], () => {}, creds);
            setCredentials(creds.user, creds.password);
            showWho();
            if (location.hash === next || !next) render();
            else location.hash = next;
        } catch (e) {
            showError(out, e);
        }
    });
    page('Sign in', form);
    user.focus();
}

function showWho() {
    const who = document.getElementById('who');
    const c = credentials();
    if (!c) {
        who.replaceChildren();
        return;
    }
    who.replaceChildren('Signed in as ', el('strong', {}, c.user), ' ',
        el('button', {type: 'button', id: 'signout', onclick: () => {
            setCredentials(null);
            showWho();
            location.hash = '#/';
            render();
        }}, 'Sign out'));
}

async function home() {
    const views = el('ul', {class: 'list', id: 'views'});
    const vobs = el('ul', {class: 'list', id: 'vobs'});
    page('VOBs and views', el('h2', {}, 'Views'), views, el('h2', {}, 'VOBs'), vobs);
    const seen = new Set();
    try {
        // The user's web views come first, as the server lists them; then every other view.
        for (const type of ['WEB', 'all']) {
            await call('enumerate_views_rpc', [['ViewType', type]], (p) => {
                if (p.name !== 'ViewFound') return;
                const f = fields(p);
                if (seen.has(f.Uuid)) return;
                seen.add(f.Uuid);
                views.append(el('li', {}, link(f.View, 'browse', {view: f.Uuid, tag: f.View}),
                    type === 'WEB' ? ' (web view)' : ''));
            });
        }
        if (!seen.size) views.append(el('li', {}, 'No views.'));
        await call('enumerate_vobs_rpc', [['NameFilter', '*'], ['ShowOnlyProjectVobs', '0'], ['ShowOnlyPublicVobs', '0']], (p) => {
            if (p.name !== 'VobFound') return;
            const f = fields(p);
            vobs.append(el('li', {}, el('span', {class: 'vob'}, f.Tag), ' — open its root ',
                link('version tree', 'open', {v: f.Tag + '@@/main'})));
        });
    } catch (e) {
        showError(main, e);
    }
}

async function browse(q) {
    const view = q.get('view');
    const tag = q.get('tag') || view;
    const path = (q.get('path') || '').replace(/^\/+|\/+$/g, '');
    const crumbs = el('p', {class: 'crumbs'}, link(tag, 'browse', {view, tag}));
    let acc = '';
    for (const part of path ? path.split('/') : []) {
        acc = acc ? acc + '/' + part : part;
        crumbs.append(' / ', link(part, 'browse', {view, tag, path: acc}));
    }
    const list = el('ul', {class: 'list', id: 'entries'});
    const prog = progress('the directory');
    page('/' + path, crumbs, el('p', {}, link('Checkouts in this view', 'checkouts', {view, tag})), prog.node, list);
    let n = 0;
    try {
        const onEntry = (name, isDir) => {
            const child = path ? path + '/' + name : name;
            const item = el('li', {});
            if (isDir) {
                item.append(link(name + '/', 'browse', {view, tag, path: child}));
            } else {
                item.append(el('span', {class: 'name'}, name), ' — ',
                    link('content', 'file', {view, tag, path: child}), ', ',
                    link('history', 'history', {view, tag, path: child}), ', ',
                    link('version tree', 'vtree', {view, tag, path: child}));
            }
            list.append(item);
            prog.count(++n);
        };
        if (!path) {
            await call('enumerate_view_root_sub_directories_rpc', [['ViewUuid', view]], (p) => {
                if (p.name === 'SubDirectory') onEntry(fields(p).SubDirectory, true);
            });
        } else {
            await call('enumerate_directory_contents_rpc', [['ViewUuid', view], ['Pname', path]], (p) => {
                if (p.name === 'Dirent') {
                    const f = fields(p);
                    onEntry(f.Dirent, f.Isdir === '1');
                }
            });
        }
        prog.done(n + (n === 1 ? ' entry' : ' entries'));
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

async function history(q) {
    const view = q.get('view'), tag = q.get('tag') || view, path = q.get('path');
    const body = el('tbody', {});
    const table = el('table', {class: 'history', id: 'history'},
        el('caption', {}, 'Events, newest first'),
        el('thead', {}, el('tr', {}, ...['When', 'User', 'Event', 'Object', 'Comment', 'Open'].map(
            (h) => el('th', {scope: 'col'}, h)))),
        body);
    const prog = progress('the history');
    page('History of /' + path, el('p', {}, link('Version tree', 'vtree', {view, tag, path})), prog.node, table);
    let n = 0, row = null;
    try {
        await call('get_history_rpc', [['Scope', path], ['ViewUuid', view]], (p) => {
            if (p.name === 'History') {
                const f = fields(p);
                const when = f.Time ? new Date(Number(f.Time) * 1000).toISOString().replace('T', ' ').slice(0, 19) : '';
                const open = el('td', {});
                const v = versionOf(f.Object || '');
                if (v && /\/\d+$/.test(v.version)) {
                    open.append(link('content', 'version', {v: f.Object}));
                    const prev = previousVersion(f.Object);
                    if (prev) open.append(', ', link('diff with previous', 'diff', {from: prev, to: f.Object}));
                }
                row = el('tr', {}, el('td', {}, when), el('td', {}, f.CreatedUser || ''), el('td', {}, f.Kind || ''),
                    el('td', {}, f.Object || ''), el('td', {class: 'comment'}), open);
                body.append(row);
                prog.count(++n);
            } else if (p.name === 'HistoryComment' && row) {
                row.children[4].textContent = p.text;
            }
        });
        prog.done(n + (n === 1 ? ' event' : ' events'));
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

async function vtree(q) {
    const view = q.get('view'), tag = q.get('tag') || view, path = q.get('path');
    const wrap = el('div', {class: 'vtree-wrap', id: 'vtree'});
    const prog = progress('the version tree');
    page('Version tree of /' + path, el('p', {}, link('History', 'history', {view, tag, path}),
        ' · Select a version to open it; arrows mark merges.'), prog.node, wrap);
    const nodes = [];
    // The element's name seen from the view's root, which stands for the namespace root.
    const element = '/' + path;
    try {
        await call('fetch_vtree_rpc', [['ViewUuid', view], ['Scope', path], ['Op', 'FetchDescendants'], ['Filter', 'NodeFilter.ANY']], (p) => {
            if (!['BranchNode', 'CheckedinVersionNode', 'CheckoutNode'].includes(p.name)) return;
            nodes.push({kind: p.name, f: fields(p), body: p.text});
            prog.count(nodes.length);
        });
        const svg = drawVersionTree(nodes, element, (vx) => route('version', {v: vx}));
        wrap.replaceChildren(svg);
        const versions = nodes.filter((x) => x.kind === 'CheckedinVersionNode').length;
        prog.done(versions + ' versions');
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

async function readContent(args) {
    const chunks = [];
    let version = '';
    await call('read_content_rpc', args, (p) => {
        if (p.name === 'Status') return;
        chunks.push(p.content);
        if (p.header('Version')) version = p.header('Version');
    });
    return {bytes: new Blob(chunks), version};
}

async function showContent(title, args, name) {
    const pre = el('pre', {class: 'content', id: 'content', tabindex: '0'});
    const info = el('p', {});
    const prog = progress('the content');
    page(title, info, prog.node, pre);
    try {
        const {bytes, version} = await readContent(args);
        if (version) {
            info.append('Version ', el('code', {}, version), ' · ', link('permalink', 'version', {v: version}));
            const prev = previousVersion(version);
            if (prev) info.append(' · ', link('diff with previous', 'diff', {from: prev, to: version}));
        }
        const url = URL.createObjectURL(bytes);
        info.append(' · ', el('a', {href: url, download: name}, 'Download'));
        const text = new TextDecoder('utf-8').decode(await bytes.arrayBuffer());
        pre.textContent = text;
        prog.done(bytes.size + ' bytes');
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

function fileContent(q) {
    const path = q.get('path');
    return showContent('/' + path, [['ResourceSelector', path], ['ViewUuid', q.get('view')]], path.split('/').pop());
}

function versionContent(q) {
    const v = q.get('v');
    const base = versionOf(v);
    const name = (base ? base.element : v).split('/').pop();
    return showContent(v, [['ResourceSelector', v]], name);
}

function openForm() {
    const input = el('input', {type: 'text', id: 'vx', name: 'vx', placeholder: '/vobs/demo/src/hello.c@@/main/1'});
    const from = el('input', {type: 'text', id: 'from', name: 'from'});
    const to = el('input', {type: 'text', id: 'to', name: 'to'});
    const f1 = el('form', {class: 'stack'}, el('label', {for: 'vx'}, 'Version-extended name'), input,
        el('button', {type: 'submit'}, 'Open'));
    f1.addEventListener('submit', (ev) => {
        ev.preventDefault();
        location.hash = route('version', {v: input.value.trim()});
    });
    const f2 = el('form', {class: 'stack'}, el('label', {for: 'from'}, 'From version'), from,
        el('label', {for: 'to'}, 'To version'), to, el('button', {type: 'submit'}, 'Compare'));
    f2.addEventListener('submit', (ev) => {
        ev.preventDefault();
        location.hash = route('diff', {from: from.value.trim(), to: to.value.trim()});
    });
    const base = el('input', {type: 'text', id: 'mbase', name: 'base'});
    const mfrom = el('input', {type: 'text', id: 'mfrom', name: 'from'});
    const mto = el('input', {type: 'text', id: 'mto', name: 'to'});
    const f3 = el('form', {class: 'stack'}, el('label', {for: 'mfrom'}, 'Merge from version'), mfrom,
        el('label', {for: 'mto'}, 'Into version'), mto, el('label', {for: 'mbase'}, 'Base version'), base,
        el('button', {type: 'submit'}, 'Preview the merge'));
    f3.addEventListener('submit', (ev) => {
        ev.preventDefault();
        location.hash = route('merge', {base: base.value.trim(), from: mfrom.value.trim(), to: mto.value.trim()});
    });
    page('Open a version', f1, el('h2', {}, 'Compare two versions'), f2, el('h2', {}, 'Preview a merge'), f3);
}

async function diff(q) {
    const from = q.get('from'), to = q.get('to');
    const grid = el('div', {class: 'diff', id: 'diff', 'aria-label': 'Side-by-side comparison, from on the left, to on the right'});
    const prog = progress('the comparison');
    page('Compare', el('p', {}, 'From ', link(from, 'version', {v: from}), ' to ', link(to, 'version', {v: to})),
        el('p', {class: 'legend'}, el('span', {class: 'diff-key changed'}, 'changed'),
            el('span', {class: 'diff-key deleted'}, 'deleted'), el('span', {class: 'diff-key inserted'}, 'inserted')),
        prog.node, grid);
    const blocks = [];
    try {
        await call('get_diff_merge_rpc', [['IsDiff', '1'], ['Version', from], ['Version', to]], (p) => {
            blocks.push({name: p.name, kind: p.header('Content-Description') || '', text: p.text});
            prog.count(blocks.length);
        });
        const rows = diffRows(blocks);
        grid.append(el('div', {class: 'head from'}, 'From ' + from), el('div', {class: 'head to'}, 'To ' + to));
        const side = (cell, which) => {
            const d = el('div', {class: 'line ' + which + ' ' + (cell ? cell.kind : 'empty')});
            if (cell) d.append(el('span', {class: 'no', 'aria-hidden': 'true'}, String(cell.no) + ' '), cell.text);
            return d;
        };
        for (const r of rows) grid.append(side(r.left, 'from'), side(r.right, 'to'));
        const changed = rows.filter((r) => (r.left && r.left.kind !== 'common') || (r.right && r.right.kind !== 'common')).length;
        prog.done(rows.length + ' lines, ' + changed + ' changed');
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

async function merge(q) {
    const base = q.get('base'), from = q.get('from'), to = q.get('to');
    const out = el('div', {class: 'merge', id: 'merge'});
    const prog = progress('the merge preview');
    page('Merge preview', el('p', {}, 'Merging ', link(from, 'version', {v: from}), ' into ',
        link(to, 'version', {v: to}), ' from their base ', link(base, 'version', {v: base})), prog.node, out);
    const parts = [];
    try {
        await call('get_diff_merge_rpc', [['IsDiff', '0'], ['ToVersion', to], ['FromVersion', from], ['BaseVersion', base]],
            (p) => parts.push({name: p.name, kind: p.header('Content-Description') || '', text: p.text,
                choice: p.header('Merge-choice') || '', region: p.header('Diff-region')}));
        const blocks = mergeBlocks(parts);
        const SIDE_NAMES = {to_ver: 'into version', from_ver: 'from version', base_ver: 'base'};
        let conflicts = 0;
        for (const b of blocks) {
            const block = el('div', {class: 'block ' + b.kind});
            if (b.kind === 'merging') {
                ++conflicts;
                block.append(el('div', {class: 'comment'}, 'Conflict: needs a choice'));
                for (const [who, text] of Object.entries(b.sides)) {
                    block.append(el('div', {class: 'comment'}, 'In the ' + SIDE_NAMES[who] + ':'), el('pre', {}, text));
                }
            } else {
                if (b.choice) block.append(el('div', {class: 'comment'}, 'Taken from the ' + (SIDE_NAMES[b.choice] || b.choice)));
                block.append(el('pre', {}, b.text));
            }
            out.append(block);
        }
        prog.done(blocks.length + ' blocks, ' + conflicts + ' conflicting');
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

// The view's checkouts: its directories walked breadth first, each directory's files
// described in one call, the checked-out ones listed as they are found.
const MAX_DIRS = 5000;
async function checkouts(q) {
    const view = q.get('view'), tag = q.get('tag') || view;
    const list = el('ul', {class: 'list', id: 'checkouts'});
    const prog = progress('the checkouts');
    page('Checkouts in ' + tag, prog.node, list);
    let found = 0, dirs = 0;
    try {
        const queue = [];
        await call('enumerate_view_root_sub_directories_rpc', [['ViewUuid', view]], (p) => {
            if (p.name === 'SubDirectory') queue.push(fields(p).SubDirectory);
        });
        while (queue.length && dirs < MAX_DIRS) {
            const dir = queue.shift();
            ++dirs;
            const files = [];
            await call('enumerate_directory_contents_rpc', [['ViewUuid', view], ['Pname', dir]], (p) => {
                if (p.name !== 'Dirent') return;
                const f = fields(p);
                (f.Isdir === '1' ? queue : files).push(dir + '/' + f.Dirent);
            });
            if (!files.length) continue;
            const args = [['ViewUuid', view], ['NumOperands', String(files.length)]];
            for (const f of files) args.push(['BeginOperand', ''], ['Scope', f], ['EndOperand', '']);
            await call('describe_files_rpc', args, (p) => {
                if (p.name !== 'OperandDescription') return;
                const f = fields(p);
                if (f.CheckedOut !== '1') return;
                ++found;
                list.append(el('li', {}, link('/' + f.OperandScope, 'file', {view, tag, path: f.OperandScope}),
                    f.Reserved === '1' ? ' (reserved)' : ' (unreserved)', ' — ',
                    link('version tree', 'vtree', {view, tag, path: f.OperandScope})));
            });
            prog.count(found);
        }
        prog.done(found + (found === 1 ? ' checkout' : ' checkouts') + ' in ' + dirs + ' directories' +
            (queue.length ? ' (stopped after ' + MAX_DIRS + ')' : ''));
    } catch (e) {
        prog.done('');
        showError(main, e);
    }
}

const PAGES = {
    '': home, browse, history, vtree, file: fileContent, version: versionContent,
    open: openForm, diff, merge, checkouts,
};

function render() {
    const hash = location.hash.replace(/^#\/?/, '');
    const [name, query] = hash.split('?');
    const handler = PAGES[name];
    if (!credentials()) {
        signIn(location.hash);
        return;
    }
    if (!handler) {
        page('Not found', el('p', {}, 'No such page. ', link('Start over', '')));
        return;
    }
    handler(new URLSearchParams(query || ''));
}

window.addEventListener('hashchange', render);
showWho();
render();
