// Opens a STEP file with occt-import-js (the Open CASCADE build of browser
// viewers) and prints its node tree, one name per line indented by depth, then
// "meshes N" and "mesh NAME: T triangles" for each. Exit 1 when the reader says
// it failed, 2 when it throws.
const fs = require('fs');
const path = require('path');
const occtImport = require(path.join(__dirname, 'node_modules', 'occt-import-js'));

function printNode(node, depth) {
    console.log('  '.repeat(depth) + node.name);
    for (const child of node.children) {
        printNode(child, depth + 1);
    }
}

occtImport().then((occt) => {
    const result = occt.ReadStepFile(new Uint8Array(fs.readFileSync(process.argv[2])), null);
    if (!result.success) {
        console.log('not read');
        process.exit(1);
    }
    printNode(result.root, 0);
    console.log('meshes ' + result.meshes.length);
    for (const mesh of result.meshes) {
        console.log('mesh ' + mesh.name + ': ' + mesh.index.array.length / 3 + ' triangles');
    }
}).catch((error) => {
    console.error(error);
    process.exit(2);
});
