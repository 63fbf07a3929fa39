// Reading a Vendor Info File's bytes and turning them into UTF-8 text.
#pragma once

#include "field_store.h"

// The whole of a regular file, with at least one byte to spare after it.
// Throws CQXRunTimeException when the path is null or empty, names no
// regular file (a FIFO, device or socket is refused at once, without
// opening it for a wait), or cannot be read.
CByteBuffer ReadFileBytes(const char* path);

// Drops a byte-order mark; text that starts with a UTF-16 mark (either byte
// order), or without one starts as UTF-16 XML does ("<?", or blanks and
// "<!"), becomes UTF-8, with U+FFFD for unpaired surrogates and a lone last
// byte. Returns whether the text was UTF-16. Keeps a byte to spare.
bool DecodeText(CByteBuffer& bytes);
