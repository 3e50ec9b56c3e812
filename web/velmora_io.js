// The callbacks velmora_exports.cpp reads and writes through: they hand each request to the
// call velmora_api.js is making (Module.velmoraCall), which catches whatever the caller's own
// functions throw.
mergeInto(LibraryManager.library, {
  velmora_read_piece: function (buffer, size) {
    return Module['velmoraCall'].read(buffer, size);
  },
  velmora_write_piece: function (bytes, size) {
    return Module['velmoraCall'].write(bytes, size);
  },
  velmora_restart_input: function () {
    return Module['velmoraCall'].restartInput();
  },
  velmora_restart_output: function () {
    return Module['velmoraCall'].restartOutput();
  },
});
