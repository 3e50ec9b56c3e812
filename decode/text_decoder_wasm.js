// The JavaScript half of text_decoder_wasm.cpp: the single-byte encodings musl's iconv lacks,
// read from TextDecoder a byte at a time, once when the decoder opens. Node.js's TextDecoder is
// ICU's, which gives some encodings control characters of their own (its IBM866 swaps 0x1A,
// 0x1C and 0x7F): an encoding whose ASCII bytes are not ASCII is refused, as iconv's are.
mergeInto(LibraryManager.library, {
  velmora_read_single_byte_table: function (label_pointer, table) {
    const label = UTF8ToString(label_pointer);
    // What byte alone gives: its text, '' when it leads a longer character, null when none
    // (or when TextDecoder knows no such label).
    const decode = (byte) => {
      try {
        return new TextDecoder(label, { fatal: true }).decode(Uint8Array.of(byte), { stream: true });
      } catch (error) {
        return null;
      }
    };
    for (let byte = 1; byte < 0x80; byte++) {
      const text = decode(byte);
      if (text !== String.fromCharCode(byte) && !((byte === 0x5c || byte === 0x7e) && text))
        return 0;
    }
    for (let byte = 0x80; byte < 0x100; byte++) {
      const text = decode(byte);
      if (text === '')
        return 0;
      HEAPU32[(table >> 2) + byte - 0x80] = text === null ? 0xffffffff : text.codePointAt(0);
    }
    return 1;
  },
});
