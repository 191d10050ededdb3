// Reads each STEP file named with occt-import-js (Open CASCADE built for the
// browser, with its default meshing) runs times once loaded, and prints a line
// "FILE SECONDS TRIANGLES" per file: the best run's time and its triangles.
const path = require('path');
const occtImport = require(path.join(process.argv[2], 'occt-import-js'));
occtImport().then((occt) => {
    const runs = Number(process.argv[3]);
    for (const file of process.argv.slice(4)) {
        const bytes = new Uint8Array(require('fs').readFileSync(file));
        let best = Infinity;
        let triangles = 0;
        for (let run = 0; run < runs; ++run) {
            const start = process.hrtime.bigint();
            const result = occt.ReadStepFile(bytes, null);
            best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e9);
            triangles = result.success ? result.meshes.reduce((sum, mesh) => sum + mesh.index.array.length / 3, 0) : -1;
        }
        console.log(file + ' ' + best + ' ' + triangles);
    }
});
