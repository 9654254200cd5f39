// The version tree as SVG: a column per branch, its versions top to bottom, a branch drawn
// from the version it sprouts from, labels beside their versions, checkouts dashed, merges as
// arrows. Every version is a link that opens it.

const NS = 'http://www.w3.org/2000/svg';
const COL = 170, ROW = 46, TOP = 40, LEFT = 30, R = 11;

function svgEl(tag, attrs = {}, text) {
    const e = document.createElementNS(NS, tag);
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
    if (text !== undefined) e.textContent = text;
    return e;
}

function lineValues(body, key) {
    const out = [];
    for (const line of body.split('\n')) {
        if (line.startsWith(key + ': ')) out.push(line.slice(key.length + 2));
    }
    return out;
}

// nodes: [{kind, f: headers, body}]; element: the element's pathname; href(vx) the link of
// a version-extended name.
export function drawVersionTree(nodes, element, href) {
    const branches = new Map(), versions = new Map();
    for (const n of nodes) {
        if (n.kind === 'BranchNode') branches.set(n.f.Dbid, {n, versions: [], path: '', col: 0, row: 0});
        else versions.set(n.f.Dbid, {n, x: 0, y: 0});
    }
    for (const v of versions.values()) {
        const b = branches.get(v.n.f.RootwardDbid);
        if (b) b.versions.push(v);
    }
    // Branch paths and places: main first, each branch in a new column starting one row
    // below the version it sprouts from.
    let nextCol = 0;
    const placed = new Set();
    const place = (b, depth) => {
        if (placed.has(b) || depth > 1000) return;
        placed.add(b);
        const sprout = versions.get(b.n.f.RootwardDbid);
        const parent = sprout && branches.get(sprout.n.f.RootwardDbid);
        if (parent && !placed.has(parent)) place(parent, depth + 1);
        b.path = (parent ? parent.path : '') + '/' + b.n.f.Name;
        b.col = nextCol++;
        b.row = sprout ? sprout.row + 1 : 0;
        b.sprout = sprout;
        b.versions.sort((a, c) => (a.n.kind === 'CheckoutNode') - (c.n.kind === 'CheckoutNode') ||
            Number(a.n.f.Number || 0) - Number(c.n.f.Number || 0));
        b.versions.forEach((v, i) => {
            v.row = b.row + 1 + i;
            v.x = LEFT + b.col * COL;
            v.y = TOP + v.row * ROW;
            v.branch = b;
        });
    };
    const all = [...branches.values()].sort((a, c) => (a.n.f.RootwardDbid === '0' ? -1 : 0) - (c.n.f.RootwardDbid === '0' ? -1 : 0));
    for (const b of all) place(b, 0);
    let maxRow = 0;
    for (const v of versions.values()) maxRow = Math.max(maxRow, v.row);
    const width = LEFT + Math.max(1, nextCol) * COL + 40, height = TOP + (maxRow + 1) * ROW + 20;
    const svg = svgEl('svg', {class: 'vtree', width, height, viewBox: `0 0 ${width} ${height}`,
        role: 'group', 'aria-label': 'Version tree of ' + element});
    svg.append(svgEl('title', {}, 'Version tree of ' + element));
    const defs = svgEl('defs');
    const marker = svgEl('marker', {id: 'arrow', viewBox: '0 0 10 10', refX: 10, refY: 5, markerWidth: 8, markerHeight: 8, orient: 'auto-start-reverse'});
    marker.append(svgEl('path', {d: 'M0,0 L10,5 L0,10 z', fill: '#a0208f'}));
    defs.append(marker);
    svg.append(defs);
    const edges = svgEl('g'), merges = svgEl('g'), layer = svgEl('g');
    svg.append(edges, merges, layer);

    for (const b of branches.values()) {
        const x = LEFT + b.col * COL, y = TOP + b.row * ROW;
        const g = svgEl('g', {class: 'branch'});
        g.append(svgEl('rect', {x: x - R, y: y - 9, width: 2 * R, height: 18, fill: '#e8eef7', stroke: '#333'}));
        g.append(svgEl('text', {class: 'branch-name', x: x + R + 4, y: y + 4}, b.n.f.Name));
        layer.append(g);
        if (b.sprout) edges.append(svgEl('line', {class: 'edge', x1: b.sprout.x, y1: b.sprout.y, x2: x, y2: y - 9}));
        let prevY = y + 9;
        for (const v of b.versions) {
            edges.append(svgEl('line', {class: 'edge', x1: x, y1: prevY, x2: x, y2: v.y - R}));
            prevY = v.y + R;
        }
    }
    for (const v of versions.values()) {
        if (!v.branch) continue;
        const co = v.n.kind === 'CheckoutNode';
        const vx = element + '@@' + v.branch.path + '/' + (co ? 'CHECKEDOUT' : v.n.f.Number);
        const name = co ? 'checked out' + (v.n.f.ViewTag ? ' in ' + v.n.f.ViewTag : '') : v.branch.path + '/' + v.n.f.Number;
        const labels = lineValues(v.n.body, 'Label');
        const cls = co ? 'checkout' : 'vt-version' + (v.n.f.IsViewSelected === '1' ? ' selected' : '');
        const node = svgEl(co ? 'g' : 'a', co ? {class: cls} : {class: cls, href: href(vx), 'data-version': vx});
        node.append(svgEl('title', {}, name + (labels.length ? ' (' + labels.join(', ') + ')' : '')));
        node.append(svgEl('circle', {cx: v.x, cy: v.y, r: R}));
        node.append(svgEl('text', {x: v.x, y: v.y + 4, 'text-anchor': 'middle'}, co ? 'CO' : v.n.f.Number));
        if (labels.length) node.append(svgEl('text', {class: 'label', x: v.x + R + 4, y: v.y + 4}, labels.join(', ')));
        layer.append(node);
        for (const child of lineValues(v.n.body, 'MergeChild')) {
            const c = versions.get(child);
            if (!c || !c.branch) continue;
            const mx = (v.x + c.x) / 2 + 30;
            merges.append(svgEl('path', {class: 'merge', d: `M${v.x + R},${v.y} Q${mx},${(v.y + c.y) / 2} ${c.x + R},${c.y}`, 'marker-end': 'url(#arrow)'}));
        }
    }
    return svg;
}
