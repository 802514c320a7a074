// The page around the saver: each run is a fresh instance of the program (as a process is), in
// the canvas as a preview or full screen; the gallery, the editor with the checker's verdict beside
// each line, download, share link and the last run's statistics. The saver itself is all in C++.
'use strict';
(() => {
  const DRIVE = '/home/web_user/.local/share/cubrix/drive_c/windows/';
  const SETTLE_MS = 400;  // an edit starts a new run once typing pauses this long
  const DOWNLOAD_KEPT_MS = 40000;
  const WM_LBUTTONDOWN = 0x201, WM_RBUTTONDOWN = 0x204, WM_MBUTTONDOWN = 0x207;
  const EVENT = { move: 1, key: 2, button: 3, deactivated: 4, command: 5 };

  const $ = (id) => document.getElementById(id);
  const canvas = $('saver'), context = canvas.getContext('2d'), view = $('view'), editor = $('object');
  const params = new URLSearchParams(location.search);
  const size = /^(\d{1,4})x(\d{1,4})$/.exec(params.get('size') || '');
  const frameLimit = Math.max(0, parseInt(params.get('frames'), 10) || 0);
  const previewSize = size ? [+size[1], +size[2]] : [canvas.width, canvas.height];
  const program = WebAssembly.compileStreaming(fetch('cubrix.wasm'));
  let run = null;
  let pointer = null;  // where the page last saw the pointer, in screen pixels
  let settle = 0;

  const screenPixels = (cssPixels) => Math.round(cssPixels * devicePixelRatio);

  // ---- Runs ----

  function start(fullScreen) {
    stop();
    const events = [];
    const [width, height] = fullScreen ? [screenPixels(screen.width), screenPixels(screen.height)] : previewSize;
    const page = {
      fullScreen, events, live: true,
      screen: (vertical) => (vertical ? height : width),
      openCanvas(w, h) {
        if (!page.live) return;
        canvas.width = w;
        canvas.height = h;
        canvas.style.cursor = '';
        delete canvas.dataset.frames;
        context.fillStyle = '#000';
        context.fillRect(0, 0, w, h);
      },
      // The rectangles a drawing call changed, all in one go: five numbers each (where its pixels
      // start, counted in pixels from `address`, then x, y, width, height). Each image is a view of
      // the program's own memory, copied by putImageData alone.
      put(buffer, address, rectangles) {
        if (!page.live) return;
        for (let i = 0; i < rectangles.length; i += 5) {
          const [start, x, y, w, h] = [rectangles[i], rectangles[i + 1], rectangles[i + 2], rectangles[i + 3], rectangles[i + 4]];
          context.putImageData(new ImageData(new Uint8ClampedArray(buffer, address + 4 * start, 4 * w * h), w), x, y);
        }
      },
      frameShown(count) {
        if (!page.live || !frameLimit || count < frameLimit) return 0;
        canvas.dataset.frames = String(count);
        return 1;
      },
      hidePointer() { if (page.live) canvas.style.cursor = 'none'; },
      pointer: () => pointer,
      next: () => events.shift(),
      message(dialog, caption, text, button) { if (page.live) showMessage(page, dialog, caption, text, button); },
      closeMessage(dialog) {
        if (page.live && $('message').dataset.dialog === String(dialog)) $('message').hidden = true;
      },
    };
    run = page;
    const text = editor.value;
    CubrixModule({
      page,
      instantiateWasm(imports, receive) {
        program.then((module) => WebAssembly.instantiate(module, imports)).then((instance) => receive(instance, null));
        return {};
      },
      print: () => {},
      printErr: () => {},  // the message boxes show what the program also writes here
      onExit: () => ended(page),
    }).then((instance) => {
      page.instance = instance;
      if (!page.live) return;  // replaced while it loaded: the newer run's verdict stands
      instance.FS.mkdirTree(DRIVE);
      instance.FS.writeFile(DRIVE + 'Cube.dat', text);
      showVerdict(instance.UTF8ToString(instance._CheckObjectFile()));
      instance.callMain(fullScreen ? ['/s'] : ['/p', '1']);
    });
  }

  // A run that another replaces is ended as a termination signal ends it; it draws no more.
  function stop() {
    if (!run) return;
    const old = run;
    run = null;
    old.live = false;
    $('message').hidden = true;
    if (old.instance) old.instance._PresenterEndRun();
  }

  function ended(page) {
    const stats = readStatistics(page.instance);
    if (stats) {
      store('cubrix.stats', JSON.stringify(stats));
      if (page.fullScreen) showStatistics(stats);
    }
    if (page !== run) return;
    run = null;
    if (page.fullScreen) {
      if (document.fullscreenElement) document.exitFullscreen();
      start(false);
    }
  }

  // times.dat: five lines of "label = value".
  function readStatistics(instance) {
    try {
      const text = instance.FS.readFile(DRIVE + 'times.dat', { encoding: 'utf8' });
      return text.trim().split(/\r?\n/).map((line) => line.split('=').map((part) => part.trim()));
    } catch (e) {
      return null;
    }
  }

  // The browser may refuse its storage (full, or turned off): the page then keeps nothing.
  function store(key, value) {
    try {
      localStorage.setItem(key, value);
    } catch (e) {
      // nothing kept
    }
  }

  function stored(key) {
    try {
      return localStorage.getItem(key);
    } catch (e) {
      return null;
    }
  }

  // What an earlier run kept, when it is still pairs of a label and a value; otherwise none.
  function storedStatistics() {
    try {
      const stats = JSON.parse(stored('cubrix.stats'));
      const pair = (p) => Array.isArray(p) && p.length === 2 && p.every((part) => typeof part === 'string');
      return Array.isArray(stats) && stats.every(pair) ? stats : null;
    } catch (e) {
      return null;
    }
  }

  function showStatistics(stats) {
    const list = $('stats').querySelector('dl');
    list.replaceChildren(...stats.flatMap(([label, value]) => [element('dt', label), element('dd', value)]));
    $('stats').hidden = false;
  }

  function showMessage(page, dialog, caption, text, button) {
    const box = $('message');
    box.dataset.dialog = String(dialog);
    box.querySelector('strong').textContent = caption;
    box.querySelector('p').textContent = text;
    const ok = box.querySelector('button');
    ok.hidden = !button;
    ok.onclick = () => page.events.push([EVENT.command, dialog, button]);
    box.hidden = false;
  }

  // ---- The editor ----

  function showVerdict(report) {
    const [verdict, ...lines] = report.trimEnd().split('\n');
    $('verdict').textContent = verdict;
    const notes = editor.value.split('\n').map(() => element('div', ''));
    for (const line of lines) {
      const [number, text] = line.split('\t');
      const note = notes[Math.max(1, +number) - 1];
      if (!note) continue;
      note.textContent += (note.textContent ? '  ' : '') + text;
      note.title = note.textContent;
      note.dataset.line = number;
      if (/: error: /.test(text)) note.className = 'error';
    }
    $('notes').replaceChildren(...notes);
  }

  function element(tag, text) {
    const made = document.createElement(tag);
    made.textContent = text;
    return made;
  }

  function setObject(text) {
    editor.value = text;
    edited();
    start(false);
  }

  // The gallery shows its placeholder again, so that any object, the one last picked too, can be
  // picked next. The share link keeps the page's options but not `frames`, which holds the run.
  function edited() {
    store('cubrix.object', editor.value);
    $('gallery').value = '';
    const options = new URLSearchParams(location.search);
    options.delete('frames');
    const search = options.toString();
    $('share').href = location.pathname + (search ? '?' + search : '') + '#object=' + encodeURIComponent(editor.value);
  }

  function objectFromLink() {
    const match = /^#object=(.*)$/s.exec(location.hash);
    if (!match) return null;
    try {
      return decodeURIComponent(match[1]);
    } catch (e) {
      return null;
    }
  }

  editor.addEventListener('input', () => {
    edited();
    clearTimeout(settle);
    settle = setTimeout(() => start(false), SETTLE_MS);
  });
  editor.addEventListener('scroll', () => { $('notes').scrollTop = editor.scrollTop; });
  $('gallery').addEventListener('change', async (e) => {
    setObject(await (await fetch('objects/' + e.target.value)).text());
  });
  $('download').addEventListener('click', () => {
    const link = element('a', '');
    link.href = URL.createObjectURL(new Blob([editor.value], { type: 'application/octet-stream' }));
    link.download = 'Cube.dat';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), DOWNLOAD_KEPT_MS);  // the download may still be reading it
  });
  window.addEventListener('hashchange', () => {
    const linked = objectFromLink();
    if (linked !== null && linked !== editor.value) setObject(linked);
  });

  // ---- Full screen and input ----

  $('fullscreen').addEventListener('click', async () => {
    try {
      await view.requestFullscreen();
    } catch (e) {
      return;  // refused (not from a user's gesture, or not offered): the preview goes on
    }
    start(true);
  });

  // A message box that is up takes the pointer over it, as on Windows.
  const forwarded = (e) => run && (run.fullScreen || e.target === canvas) && !$('message').contains(e.target);
  function notePointer(e) {
    pointer = [screenPixels(e.screenX), screenPixels(e.screenY)];
  }
  function canvasPoint(e) {
    const box = canvas.getBoundingClientRect();
    return [Math.round((e.clientX - box.left) * canvas.width / box.width),
      Math.round((e.clientY - box.top) * canvas.height / box.height)];
  }
  document.addEventListener('mousemove', (e) => {
    notePointer(e);
    if (forwarded(e)) run.events.push([EVENT.move, ...canvasPoint(e)]);
  }, true);
  document.addEventListener('mousedown', (e) => {
    notePointer(e);
    const message = [WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN][e.button];
    if (forwarded(e) && message) run.events.push([EVENT.button, message, 0]);
  }, true);
  // The keyboard belongs to a message box while one is up: Enter or Escape answers it.
  document.addEventListener('keydown', (e) => {
    if (!run || !run.fullScreen) return;
    e.preventDefault();
    const ok = $('message').querySelector('button');
    if ($('message').hidden || ok.hidden) {
      run.events.push([EVENT.key, e.keyCode, e.altKey ? 1 : 0]);
    } else if (e.key === 'Enter' || e.key === 'Escape') {
      ok.click();
    }
  }, true);
  // Switching away: the window loses the focus, the page is hidden, or full screen is left. A blur
  // that leaves the page focused (some browsers send one as full screen begins) is none.
  const deactivated = () => { if (run && run.fullScreen) run.events.push([EVENT.deactivated, 0, 0]); };
  window.addEventListener('blur', () => { if (!document.hasFocus()) deactivated(); });
  document.addEventListener('visibilitychange', () => { if (document.hidden) deactivated(); });
  document.addEventListener('fullscreenchange', () => { if (!document.fullscreenElement) deactivated(); });

  // ---- Start ----

  // What scripts/web found in dist/ and put beside the page.
  async function offerDownloads() {
    const kinds = [[/-setup\.exe$/, 'Windows setup'], [/\.zip$/, 'Windows zip'], [/\.deb$/, 'Debian package']];
    const files = await (await fetch('downloads.json')).json();
    for (const file of files) {
      const kind = kinds.find(([pattern]) => pattern.test(file));
      const link = element('a', kind ? kind[1] : file);
      link.href = 'downloads/' + encodeURIComponent(file);
      link.title = file;
      $('downloads').append(' ', link);
    }
    $('downloads').hidden = files.length === 0;
  }

  async function begin() {
    const stats = storedStatistics();
    if (stats) showStatistics(stats);
    let text = objectFromLink() ?? stored('cubrix.object');
    if (text === null) text = await (await fetch('objects/Cube.dat')).text();
    setObject(text);
    offerDownloads();
  }
  begin();
})();
