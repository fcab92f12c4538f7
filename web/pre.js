// Runs before the game starts. The game's working directory is /game, in memory:
// assets links to the packed assets (vorbel.data, under /assets). The game keeps
// settings.cfg in /save, a folder kept in the browser's IndexedDB, and names it there
// itself. Only real files go there: IndexedDB keeps no links.
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/save');
  FS.mount(IDBFS, {}, '/save');
  FS.mkdir('/game');
  FS.symlink('/assets', '/game/assets');
  FS.chdir('/game');
  addRunDependency('vorbel-settings');
  FS.syncfs(true, function (err) {
    if (err) console.warn('SETTINGS: the browser storage could not be read (' + err + '); starting from the defaults');
    removeRunDependency('vorbel-settings');
  });
});

// Replays: ?replay=URL (a file served beside the page) is fetched before the game
// starts and played at once; the page's "open a replay" button plays a file from the
// player's disk at any time. A file that does not come is said on the title screen.
(function () {
  var params = new URLSearchParams(typeof location !== 'undefined' ? location.search : '');
  var url = params.get('replay');
  if (url) {
    Module.arguments = (Module.arguments || []).concat(['--replay', '/game/url.vreplay']);
    Module.preRun.push(function () {
      addRunDependency('vorbel-replay');
      fetch(url).then(function (r) {
        if (!r.ok) throw new Error('HTTP ' + r.status);
        return r.arrayBuffer();
      }).then(function (bytes) {
        FS.writeFile('/game/url.vreplay', new Uint8Array(bytes));
      }).catch(function (err) {
        console.warn('REPLAY: ' + url + ' could not be fetched (' + err + ')');
      }).finally(function () {
        removeRunDependency('vorbel-replay');
      });
    });
  }
  var picker = typeof document !== 'undefined' ? document.getElementById('replay-file') : null;
  if (picker) {
    picker.addEventListener('change', function () {
      var file = picker.files[0];
      if (!file) return;
      file.arrayBuffer().then(function (bytes) {
        FS.writeFile('/game/picked.vreplay', new Uint8Array(bytes));
        Module['_vorbel_open_replay']();
        picker.value = '';
        Module.canvas.focus();
      });
    });
  }
})();
