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
