// Opens a STEP file with occt-import-js (the Open CASCADE build of browser
// viewers) and prints "meshes N"; exit 1 when it reports a failure, 2 when it throws.
const occtImport = require(require('path').join(__dirname, 'node_modules', 'occt-import-js'));
occtImport().then((occt) => {
    const result = occt.ReadStepFile(new Uint8Array(require('fs').readFileSync(process.argv[2])), null);
    console.log(result.success ? 'meshes ' + result.meshes.length : 'not read');
    process.exit(result.success ? 0 : 1);
}).catch((error) => {
    console.error(error);
    process.exit(2);
});
