// Runs before the game starts: settings.cfg lives in an IndexedDB-backed folder,
// /game, which is the game's working directory; the assets, packed into vorbel.data
// under /assets, are linked into it where the game looks for them.
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/game');
  FS.mount(IDBFS, {}, '/game');
  addRunDependency('vorbel-settings');
  FS.syncfs(true, function (err) {
    if (err) console.warn('SETTINGS: the browser storage could not be read (' + err + '); starting from the defaults');
    try { FS.unlink('/game/assets'); } catch (e) { /* not there yet */ }
    FS.symlink('/assets', '/game/assets');
    FS.chdir('/game');
    removeRunDependency('vorbel-settings');
  });
});
