// Vendor Info Files in XML: each element with a value attribute is a
// numeric field, each element with only text a text field ($ and its local
// name), each element with child elements a container of fields.
#pragma once

#include "field_store.h"

#include <cstddef>
#include <limits>
#include <string_view>

inline constexpr std::size_t VIF_ALL_COMPONENTS = std::numeric_limits<std::size_t>::max();

// Whether the text is XML: it starts with an XML declaration, or its first
// element (after blanks, comments and a document type) is VIF with any
// namespace prefix.
bool IsXmlText(std::string_view text);

// Reads the fields of an XML Vendor Info File in document order. With a
// component index, reads the fields outside Component blocks and those of
// that Component block (counted from 0) only. Returns how many Component
// blocks the file has. The text is UTF-8 when utf8 is set, else the XML's
// own declaration tells its encoding (any that iconv knows, in the spellings
// files use); the text may be converted or changed in place. A declaration
// after blanks or comments is read, with a warning. Nothing outside the file
// is read: a document type or entity that refers outside, an undefined
// entity, entity expansion past a small multiple of the file, an unknown
// encoding and malformed XML throw CQXRunTimeException.
std::size_t ReadXmlFields(const char* path, CByteBuffer& text, bool utf8, std::size_t component, CFieldStore& fields,
                          CWarningList& warnings);
