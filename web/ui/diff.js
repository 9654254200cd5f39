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

// The merge's result in order: [{kind: 'merged' | 'merging', choice, text}].
export function mergeBlocks(parts) {
    return parts.filter((p) => p.name === 'result' && !SKIP.has(p.kind))
        .map((p) => ({kind: p.kind === 'merging' ? 'merging' : 'merged', choice: p.choice, text: p.text}));
}
