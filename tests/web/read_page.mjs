// Opens a page in headless Chromium and prints the text of its #result (or #message) once the
// page has written one. Talks to Chromium through its DevTools protocol with node's own
// WebSocket (node --experimental-websocket). Usage: node read_page.mjs URL [SECONDS]
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [url, seconds = '120'] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), 'kestrel-web-'));
const chromium = spawn('chromium', [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=no-user-gesture-required', `--user-data-dir=${profile}`,
  '--remote-debugging-address=127.0.0.1', '--remote-debugging-port=0', url], { stdio: 'ignore' });
const sleep = ms => new Promise(r => setTimeout(r, ms));
const deadline = Date.now() + Number(seconds) * 1000;

function finish(text, status) {
  if (text) console.log(text);
  chromium.kill();
  setTimeout(() => { rmSync(profile, { recursive: true, force: true }); process.exit(status); }, 500);
}

async function devtoolsPage() {
  for (;;) {
    if (Date.now() > deadline) throw new Error('Chromium did not open its DevTools port');
    try {
      const port = readFileSync(join(profile, 'DevToolsActivePort'), 'utf8').split('\n')[0];
      const pages = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
      const page = pages.find(p => p.type === 'page');
      if (page) return page.webSocketDebuggerUrl;
    } catch { /* not up yet */ }
    await sleep(200);
  }
}

try {
  const socket = new WebSocket(await devtoolsPage());
  await new Promise((resolve, reject) => { socket.onopen = resolve; socket.onerror = reject; });
  let id = 0;
  const waiting = new Map();
  socket.onmessage = e => {
    const reply = JSON.parse(e.data);
    if (waiting.has(reply.id)) { waiting.get(reply.id)(reply); waiting.delete(reply.id); }
  };
  const evaluate = expression => new Promise(resolve => {
    waiting.set(++id, reply => resolve(reply.result && reply.result.result && reply.result.result.value));
    socket.send(JSON.stringify({ id, method: 'Runtime.evaluate', params: { expression } }));
  });
  const READ = `(() => { const r = document.getElementById('result'), m = document.getElementById('message');
    return r && r.textContent ? r.textContent : m && m.textContent ? 'message ' + m.textContent : ''; })()`;
  for (;;) {
    const text = await evaluate(READ);
    if (text) { finish(text, 0); break; }
    if (Date.now() > deadline) { finish('timeout: the page wrote no result', 1); break; }
    await sleep(250);
  }
} catch (error) {
  finish('error: ' + error.message, 1);
}
