#!/usr/bin/env bash
# Renders .glb files to a PNG picture with three.js in headless Chromium, as a
# person sees them in a browser viewer: glTF's +Y up, the camera in front of
# the model, a little above and to its right, looking at its centre. Several
# models are drawn side by side, each in a panel of WIDTHxHEIGHT, each framed
# by its own box from the same direction, so that a model turned differently
# shows it. Run by hand and by tests/readers/render_compare.py (Chromium:
# apt-get install chromium; three.js: scripts/setup.sh installs it under
# tests/readers).
#
# Usage: scripts/render-gltf.sh OUT.png MODEL.glb [MORE.glb ...]   (RENDER_SIZE=WIDTHxHEIGHT, default 960x720)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 2 ] || { echo "usage: $0 OUT.png MODEL.glb [MORE.glb ...]" >&2; exit 2; }
out="$(realpath -m "$1")"
shift
size="${RENDER_SIZE:-960x720}"
width="${size%x*}" height="${size#*x}"
three="$here/tests/readers/node_modules/three"
browser="$(command -v chromium || command -v chromium-browser || true)"
[ -n "$browser" ] || { echo "render-gltf: no chromium on PATH (apt-get install chromium)" >&2; exit 2; }
[ -d "$three/build" ] || { echo "render-gltf: no three.js at $three (scripts/setup.sh)" >&2; exit 2; }

page="$(mktemp -d)"
trap 'kill "$server" 2>/dev/null || true; rm -rf "$page"' EXIT
ln -s "$three" "$page/three"
# Each model is served from its own folder, where the files it names lie.
models=()
for model in "$@"; do
  ln -s "$(dirname "$(realpath "$model")")" "$page/folder${#models[@]}"
  models+=("\"folder${#models[@]}/$(basename "$model")\"")
done
cat >"$page/index.html" <<HTML
<!DOCTYPE html>
<html><body style="margin:0;background:#f4f4f4;display:flex">
<script type="importmap">{"imports": {"three": "./three/build/three.module.js",
                                      "three/addons/": "./three/examples/jsm/"}}</script>
<script type="module">
import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
const models = [$(IFS=,; echo "${models[*]}")];
const width = $width, height = $height;
// Every model is loaded before the first is drawn, so that the screenshot
// waits for all of them.
const loaded = await Promise.all(models.map((file) => new GLTFLoader().loadAsync(file)));
for (const gltf of loaded) {
  const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  renderer.setSize(width, height);
  renderer.setClearColor(0xf4f4f4);
  document.body.appendChild(renderer.domElement);
  const scene = new THREE.Scene();
  scene.add(new THREE.HemisphereLight(0xffffff, 0x666666, 2.0));
  const sun = new THREE.DirectionalLight(0xffffff, 2.0);
  sun.position.set(2, 4, 3);
  scene.add(sun);
  scene.add(gltf.scene);
  const box = new THREE.Box3().setFromObject(gltf.scene);
  const centre = box.getCenter(new THREE.Vector3());
  const radius = box.getSize(new THREE.Vector3()).length() / 2;
  const camera = new THREE.PerspectiveCamera(40, width / height, radius / 100, radius * 100);
  camera.position.copy(centre).add(new THREE.Vector3(0.9, 0.7, 1.6).normalize().multiplyScalar(radius * 3));
  camera.lookAt(centre);
  renderer.render(scene, camera);
}
document.title = 'rendered';
</script></body></html>
HTML

port=$((20000 + RANDOM % 20000))
(cd "$page" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
sleep 1
"$browser" --headless --no-sandbox --disable-gpu-sandbox --use-angle=swiftshader --enable-unsafe-swiftshader \
  --hide-scrollbars --window-size="$((width * $#)),$height" --virtual-time-budget=10000 \
  --screenshot="$out" "http://127.0.0.1:$port/index.html" >/dev/null 2>&1
[ -s "$out" ] || { echo "render-gltf: chromium wrote no picture" >&2; exit 1; }
echo "wrote $out"
