// The WebAssembly is compiled from the bytes this file carries and never fetched, not even as a
// data: URL: a page may forbid every connection (connect-src 'none').
Module['instantiateWasm'] = function (imports, receiveInstance) {
  WebAssembly.instantiate(tryParseAsDataURI(wasmBinaryFile), imports).then(
    (output) => receiveInstance(output.instance, output.module),
    (error) => abort(error));
  return {};
};
