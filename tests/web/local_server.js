// A static web server for a folder on a free port of 127.0.0.1, for the browser suite and the
// web benchmark: python3's http.server, whose first line names the port.
'use strict';
const { spawn } = require('node:child_process');

// Resolves to { server, port }; rejects when the server ends before it names its port.
function serveFolder(folder) {
  // Unbuffered (-u), or the server names its port only when it ends.
  const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', folder],
    { stdio: ['ignore', 'pipe', 'ignore'] });
  return new Promise((resolve, reject) => {
    let said = '';
    server.stdout.on('data', (d) => {
      said += d;
      const m = /port (\d+)/.exec(said);
      if (m) resolve({ server, port: m[1] });
    });
    server.on('error', reject);
    server.on('exit', (status) => reject(new Error(`the web server ended (status ${status}) before it served`)));
  });
}

module.exports = { serveFolder };
