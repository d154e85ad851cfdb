// Serves a folder over HTTP on localhost, for the playground: no dependencies.
// Usage: node serve-web.mjs FOLDER [PORT]   (PORT 0 picks a free one)
// Prints the address on its first line of output.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, isAbsolute, relative, resolve, sep } from 'node:path';

const root = resolve(process.argv[2] ?? '.');
const port = Number(process.argv[3] ?? 8480);
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
                '.png': 'image/png', '.svg': 'image/svg+xml', '.json': 'application/json',
                '.webmanifest': 'application/manifest+json',
                '.sf2': 'application/octet-stream', '.sf3': 'application/octet-stream', '.wav': 'audio/wav' };

// The file a request names inside the root, or null for a request that
// names none: a malformed escape, a NUL, or a path that leaves the root.
function fileFor(url) {
  let path;
  try {
    path = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  } catch {
    return null;
  }
  if (path.includes('\0')) return null;
  const file = resolve(root, '.' + (path.endsWith('/') ? path + 'index.html' : path));
  // Compared by whole segments: a sibling folder whose name starts with the
  // root's is outside it.
  const inside = relative(root, file);
  if (inside === '' || inside === '..' || inside.startsWith('..' + sep) || isAbsolute(inside)) return null;
  return file;
}

const server = createServer(async (request, response) => {
  try {
    const file = fileFor(request.url ?? '/');
    if (file === null) {
      response.writeHead(400, { 'content-type': 'text/plain' }).end('bad request');
      return;
    }
    const body = await readFile(file);
    response.writeHead(200, { 'content-type': types[extname(file)] ?? 'application/octet-stream', 'cache-control': 'no-store' });
    response.end(body);
  } catch {
    if (!response.headersSent) response.writeHead(404, { 'content-type': 'text/plain' });
    response.end('not found');
  }
});
server.listen(port, '127.0.0.1', () => {
  console.log(`Playground: http://127.0.0.1:${server.address().port}/`);
});
