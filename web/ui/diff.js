// Rows of a side-by-side comparison and blocks of a merge preview, from the block stream of
// a comparison: parts "common" (both sides), "from_ver" and "to_ver" (one side each) whose
// descriptions say what the block is, in the order of the files.

const SKIP = new Set(['view_rel_pname', 'padding']);

function lines(text) {
    const l = text.split('\n');
    if (l.length && l[l.length - 1] === '') l.pop();
    return l;
}

// [{left: {no, text, kind} | null, right: ... | null}]: common lines side by side, a run of
// one side's blocks paired row by row with the other side's run.
export function diffRows(blocks) {
    const rows = [];
    let leftNo = 0, rightNo = 0;
    let left = [], right = [];
    const flush = () => {
        for (let i = 0; i < Math.max(left.length, right.length); ++i) {
            rows.push({left: left[i] || null, right: right[i] || null});
        }
        left = [];
        right = [];
    };
    for (const b of blocks) {
        if (SKIP.has(b.kind)) continue;
        if (b.name === 'common') {
            flush();
            for (const t of lines(b.text)) {
                rows.push({left: {no: ++leftNo, text: t, kind: 'common'}, right: {no: ++rightNo, text: t, kind: 'common'}});
            }
        } else if (b.name === 'from_ver') {
            for (const t of lines(b.text)) left.push({no: ++leftNo, text: t, kind: b.kind || 'changed'});
        } else if (b.name === 'to_ver') {
            for (const t of lines(b.text)) right.push({no: ++rightNo, text: t, kind: b.kind || 'changed'});
        }
    }
    flush();
    return rows;
}

const SIDES = ['to_ver', 'from_ver', 'base_ver'];

// The merge's result in order, from a three-way block stream: common text once, each
// contributor's blocks of a differing stretch, then the result's blocks for that stretch,
// each naming the contributor it takes ("Merge-choice") or marking a conflict. Blocks are
// {kind: 'common' | 'merged' | 'merging', choice, text, sides: {contributor: text}}.
export function mergeBlocks(parts) {
    const out = [];
    let pending = [];  // contributor blocks since the last common text
    const textOf = (who, region) => {
        const mine = pending.filter((p) => p.name === who);
        const same = mine.filter((p) => p.region !== null && p.region === region);
        return (same.length ? same : mine).map((p) => p.text).join('');
    };
    for (const p of parts) {
        if (SKIP.has(p.kind) && p.name !== 'result') continue;
        if (p.name === 'common') {
            pending = [];
            out.push({kind: 'common', choice: '', text: p.text, sides: {}});
        } else if (SIDES.includes(p.name)) {
            pending.push(p);
        } else if (p.name === 'result') {
            if (p.kind === 'merging') {
                const sides = {};
                for (const who of SIDES) sides[who] = textOf(who, p.region);
                out.push({kind: 'merging', choice: '', text: '', sides});
            } else if (p.kind === 'merged') {
                out.push({kind: 'merged', choice: p.choice, text: textOf(p.choice, p.region), sides: {}});
            } else if (!SKIP.has(p.kind)) {
                out.push({kind: 'merged', choice: '', text: p.text, sides: {}});
            }
        }
    }
    return out;
}
