// Renders ZPL jobs to PNG images with an independent ZPL renderer, one image per label format:
//   node render.js <width mm> <height mm> <dots per mm> <output folder> <job.zpl>...
// writes <output folder>/<job index>-<label index>.png and prints each job's label count.
const fs = require("fs");
const path = require("path");
const { ready } = require("zpl-renderer-js");

async function main() {
  const [widthMm, heightMm, dpmm, out, ...jobs] = process.argv.slice(2);
  const { api } = await ready;
  for (const [j, job] of jobs.entries()) {
    const zpl = fs.readFileSync(job, "latin1");
    const images = await api.zplToBase64MultipleAsync(zpl, +widthMm, +heightMm, +dpmm);
    images.forEach((png, k) =>
      fs.writeFileSync(path.join(out, `${j}-${k}.png`), Buffer.from(png, "base64")));
    console.log(images.length);
  }
}

main().catch((error) => {
  console.error(`render.js: ${error && error.stack ? error.stack : error}`);
  process.exit(1);
});
