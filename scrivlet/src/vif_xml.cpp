#include "vif_xml.h"

#include "run_time_error.h"
#include "vif_line.h"

// Debian builds expat with document type support; its entity limits are
// declared only with it.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Expat's input length is an int: larger texts go in parts.
constexpr std::size_t XML_PART_BYTES = 16u << 20;
// Entity expansion may make the parsed text this many times the file, once
// it is past the threshold.
constexpr float XML_MAX_AMPLIFICATION = 2.0f;
constexpr unsigned long long XML_AMPLIFICATION_THRESHOLD = 4ull << 20;

constexpr std::string_view XML_SPACE = " \t\r\n";

std::string_view LocalName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(XML_SPACE);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(XML_SPACE) - first + 1);
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

struct SElement {
    std::string name;  // local name
    std::string value;
    std::string text;
    std::size_t line = 0;
    bool hasValue = false;
    bool hasChild = false;
    bool isComponent = false;
};

class CXmlReader {
public:
    // The text is UTF-8, whatever its declaration says.
    CXmlReader(const char* path, std::size_t component, CFieldStore& fields, CWarningList& warnings)
        : m_pPath(path),
          m_Component(component),
          m_Fields(fields),
          m_Warnings(warnings),
          m_Parser(XML_ParserCreate("UTF-8")) {
        if (m_Parser == nullptr) throw std::bad_alloc();
        XML_SetUserData(m_Parser, this);
        XML_SetElementHandler(m_Parser, &CXmlReader::OnStart, &CXmlReader::OnEnd);
        XML_SetCharacterDataHandler(m_Parser, &CXmlReader::OnText);
        XML_SetStartDoctypeDeclHandler(m_Parser, &CXmlReader::OnDoctype);
        XML_SetEntityDeclHandler(m_Parser, &CXmlReader::OnEntity);
        XML_SetSkippedEntityHandler(m_Parser, &CXmlReader::OnSkippedEntity);
        XML_SetExternalEntityRefHandler(m_Parser, &CXmlReader::OnExternalEntity);
        XML_SetParamEntityParsing(m_Parser, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetBillionLaughsAttackProtectionMaximumAmplification(m_Parser, XML_MAX_AMPLIFICATION);
        XML_SetBillionLaughsAttackProtectionActivationThreshold(m_Parser, XML_AMPLIFICATION_THRESHOLD);
    }
    ~CXmlReader() { XML_ParserFree(m_Parser); }
    CXmlReader(const CXmlReader&) = delete;
    CXmlReader& operator=(const CXmlReader&) = delete;

    std::size_t Read(std::string_view text) {
        do {
            const std::size_t part = std::min(text.size(), XML_PART_BYTES);
            const bool last = part == text.size();
            if (XML_Parse(m_Parser, text.data(), static_cast<int>(part), last) != XML_STATUS_OK) Fail();
            text.remove_prefix(part);
        } while (!text.empty());
        if (m_Component != VIF_ALL_COMPONENTS && m_Component >= m_Components)
            ThrowRunTimeError("Vendor Info File %s has no component %zu (it has %zu).", m_pPath, m_Component,
                              m_Components);
        return m_Components;
    }

private:
    static CXmlReader& Of(void* data) { return *static_cast<CXmlReader*>(data); }

    // Ends the parse with the reader's own message.
    void Stop(std::string message) {
        if (m_Fault.empty()) m_Fault = std::move(message);
        XML_StopParser(m_Parser, XML_FALSE);
    }

    [[noreturn]] void Fail() {
        const unsigned long line = XML_GetCurrentLineNumber(m_Parser);
        const unsigned long column = XML_GetCurrentColumnNumber(m_Parser) + 1;
        const std::string fault = m_Fault.empty() ? XML_ErrorString(XML_GetErrorCode(m_Parser)) : m_Fault;
        ThrowRunTimeError("XML error in Vendor Info File %s at line %lu, column %lu: %s.", m_pPath, line, column,
                          fault.c_str());
    }

    bool Selected() const {
        return m_Component == VIF_ALL_COMPONENTS || m_InComponent == 0 || m_CurrentComponent == m_Component;
    }

    // No exception may pass through expat: one that leaves a handler ends the
    // parse with its message instead.
    template <typename TWork>
    static void Guarded(void* data, TWork work) {
        try {
            work(Of(data));
        } catch (const std::exception& error) {
            Of(data).Stop(error.what());
        }
    }

    static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        Guarded(data, [&](CXmlReader& reader) { reader.Start(name, attributes); });
    }

    static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
        Guarded(data, [&](CXmlReader& reader) {
            if (reader.m_Stack.empty()) return;
            SElement& element = reader.m_Stack.back();
            if (!element.hasChild) element.text.append(text, static_cast<std::size_t>(length));
        });
    }

    static void XMLCALL OnEnd(void* data, const XML_Char*) {
        Guarded(data, [&](CXmlReader& reader) { reader.End(); });
    }

    void Start(const XML_Char* name, const XML_Char** attributes) {
        CXmlReader& reader = *this;
        const std::string_view local = LocalName(name);
        if (reader.m_Stack.empty() && local != "VIF") {
            reader.Stop("the root element is <" + std::string(name) + ">, not VIF");
            return;
        }
        if (!reader.m_Stack.empty()) {
            SElement& parent = reader.m_Stack.back();
            parent.hasChild = true;
            parent.text.clear();
            parent.text.shrink_to_fit();
        }
        SElement& element = reader.m_Stack.emplace_back();
        element.name = local;
        element.line = XML_GetCurrentLineNumber(m_Parser);
        for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
            if (std::strcmp(a[0], "value") != 0) continue;
            element.hasValue = true;
            element.value = Trim(a[1]);
        }
        if (local == "Component" && reader.m_Stack.size() > 1) {
            element.isComponent = true;
            // A Component inside another is part of the outer one.
            if (reader.m_InComponent++ == 0) reader.m_CurrentComponent = reader.m_Components++;
        }
        // A numeric field stands where its element starts, before anything
        // the element holds.
        if (element.hasValue && reader.Selected()) reader.EmitValue(element);
    }

    void End() {
        if (m_Stack.empty()) return;
        const SElement& element = m_Stack.back();
        if (Selected()) EmitText(element);
        if (element.isComponent) --m_InComponent;
        m_Stack.pop_back();
    }

    void EmitValue(const SElement& element) {
        // The value as the text format writes it; one that does not fit a
        // numeric field there is skipped here too.
        std::string value = element.value;
        if (value == "true") value = "YES";
        if (value == "false") value = "NO";
        const std::string line = "N:" + value;
        std::string_view name;
        std::string_view literal;
        if (RecognizeLine(line, name, literal)) {
            m_Fields.Append(element.name, value, element.line);
            return;
        }
        const bool hex = !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        });
        m_Warnings.Add(element.line, "<" + element.name + " value=\"" + element.value + "\">",
                       value.empty() ? "the value is empty"
                           : hex     ? "hexadecimal without 0x"
                                     : "the value is not 0x-hexadecimal, decimal, true or false");
    }

    void EmitText(const SElement& element) {
        if (element.hasValue || element.hasChild || m_Stack.size() == 1) return;
        const std::string_view text = Trim(element.text);
        if (!text.empty()) m_Fields.Append("$" + element.name, text, element.line);
    }

    static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char* systemId, const XML_Char*, int) {
        if (systemId != nullptr)
            Of(data).Stop("the document type refers to an outside file (" + std::string(systemId) +
                          "), which is not read");
    }

    static void XMLCALL OnEntity(void* data, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                                 const XML_Char* systemId, const XML_Char*, const XML_Char*) {
        if (systemId != nullptr)
            Of(data).Stop("the entity " + std::string(name) + " refers to an outside file (" + systemId +
                          "), which is not read");
    }

    static void XMLCALL OnSkippedEntity(void* data, const XML_Char* name, int) {
        Of(data).Stop("the entity " + std::string(name) + " is not defined in the file");
    }

    static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*, const XML_Char* systemId,
                                        const XML_Char*) {
        CXmlReader& reader = Of(XML_GetUserData(parser));
        reader.m_Fault =
            "an entity refers to an outside file (" + std::string(systemId ? systemId : "") + "), which is not read";
        return XML_STATUS_ERROR;
    }

    const char* m_pPath;
    std::size_t m_Component;
    CFieldStore& m_Fields;
    CWarningList& m_Warnings;
    XML_Parser m_Parser;
    std::vector<SElement> m_Stack;
    std::string m_Fault;
    std::size_t m_Components = 0;
    std::size_t m_InComponent = 0;
    std::size_t m_CurrentComponent = 0;
};

struct SDeclaration {
    std::size_t start = std::string_view::npos;  // none
    std::size_t end = 0;
    std::string encoding;
};

// The XML declaration, after any blanks and comments, and the encoding it names.
SDeclaration FindDeclaration(std::string_view text) {
    SDeclaration declaration;
    std::size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(XML_SPACE, at);
        if (at == std::string_view::npos || text.compare(at, 4, "<!--") != 0) break;
        at = text.find("-->", at + 4);
        if (at == std::string_view::npos) return declaration;
        at += 3;
    }
    if (at == std::string_view::npos || text.compare(at, 5, "<?xml") != 0 || at + 5 >= text.size() ||
        (XML_SPACE.find(text[at + 5]) == std::string_view::npos && text[at + 5] != '?'))
        return declaration;
    const std::size_t end = text.find("?>", at);
    if (end == std::string_view::npos) return declaration;
    declaration.start = at;
    declaration.end = end + 2;
    const std::string_view inside = text.substr(at, end - at);
    std::size_t name = inside.find("encoding");
    if (name == std::string_view::npos) return declaration;
    const std::size_t equals = inside.find_first_not_of(XML_SPACE, name + 8);
    if (equals == std::string_view::npos || inside[equals] != '=') return declaration;
    const std::size_t quote = inside.find_first_not_of(XML_SPACE, equals + 1);
    if (quote == std::string_view::npos || (inside[quote] != '"' && inside[quote] != '\'')) return declaration;
    const std::size_t close = inside.find(inside[quote], quote + 1);
    if (close != std::string_view::npos) declaration.encoding = inside.substr(quote + 1, close - quote - 1);
    return declaration;
}

// Line and column (from 1, in bytes) of an offset into the text.
std::pair<unsigned long, unsigned long> Position(std::string_view text, std::size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineStart = before.rfind('\n');
    return {static_cast<unsigned long>(std::count(before.begin(), before.end(), '\n') + 1),
            static_cast<unsigned long>(offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1)};
}

class CIconv {
public:
    explicit CIconv(const char* from) : m_Handle(iconv_open("UTF-8", from)) {}
    ~CIconv() {
        if (Opened()) iconv_close(m_Handle);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    bool Opened() const { return m_Handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_Handle; }

private:
    iconv_t m_Handle;
};

// What a declared encoding is read as: "" for UTF-8 (expat's own), else the
// name to give iconv. Spellings are told apart without regard to letter
// case, '-', '_' and blanks.
std::string EncodingToConvert(const char* path, const std::string& declared, std::pair<unsigned long, unsigned long> at,
                              CWarningList& warnings) {
    std::string key;
    for (char c : declared)
        if (c != '-' && c != '_' && c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key.empty() || key == "utf8" || key == "usascii" || key == "ascii") return "";  // ASCII is UTF-8
    if (key == "utf16" || key == "utf16le" || key == "utf16be" || key == "ucs2" || key == "unicode") {
        warnings.Add(at.first, declared, "the declaration names UTF-16, but the file is not; read as UTF-8");
        return "";
    }
    if (key == "latin1" || key == "l1" || key == "iso88591") return "ISO-8859-1";
    if (key == "windows1252" || key == "cp1252") return "WINDOWS-1252";
    // The XML grammar of an encoding name, which also keeps iconv's own
    // suffixes (//IGNORE) and paths out.
    const bool wellFormed = std::isalpha(static_cast<unsigned char>(declared[0])) &&
        std::all_of(declared.begin(), declared.end(), [](char c) {
                                return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
                            });
    if (!wellFormed)
        ThrowRunTimeError(
            "XML error in Vendor Info File %s at line %lu, column %lu: the encoding \"%s\" "
            "is not an encoding name.",
            path, at.first, at.second, declared.c_str());
    return declared;
}

// The text converted from the encoding to UTF-8.
void ConvertToUtf8(const char* path, CByteBuffer& text, const std::string& declared, const std::string& from,
                   std::pair<unsigned long, unsigned long> at) {
    const CIconv converter(from.c_str());
    if (!converter.Opened())
        ThrowRunTimeError(
            "XML error in Vendor Info File %s at line %lu, column %lu: the encoding \"%s\" "
            "is not known.",
            path, at.first, at.second, declared.c_str());
    CByteBuffer out(text.Size() + text.Size() / 4 + 64);
    char* in = text.Data();
    std::size_t inLeft = text.Size();
    for (;;) {
        char* write = out.Data() + out.Size();
        std::size_t outLeft = out.Capacity() - out.Size();
        const std::size_t done = iconv(converter.Get(), inLeft ? &in : nullptr, &inLeft, &write, &outLeft);
        out.Resize(static_cast<std::size_t>(write - out.Data()));
        if (done != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) {
            out.Reserve(out.Capacity() + out.Capacity() / 2 + 64);
            continue;
        }
        const auto [line, column] = Position({text.Data(), text.Size()}, static_cast<std::size_t>(in - text.Data()));
        ThrowRunTimeError(
            "XML error in Vendor Info File %s at line %lu, column %lu: the bytes there are "
            "not %s text.",
            path, line, column, declared.c_str());
    }
    text = CByteBuffer();  // the file's bytes go before the converted text grows
    text = std::move(out);
}

}  // namespace

bool IsXmlText(std::string_view text) {
    for (;;) {
        text.remove_prefix(std::min(text.size(), text.find_first_not_of(XML_SPACE)));
        if (StartsWith(text, "<?xml") || StartsWith(text, "<!DOCTYPE")) return true;
        if (StartsWith(text, "<!--")) {
            const std::size_t end = text.find("-->");
            if (end == std::string_view::npos) return false;
            text.remove_prefix(end + 3);
        } else if (StartsWith(text, "<?")) {
            const std::size_t end = text.find('>');
            if (end == std::string_view::npos) return false;
            text.remove_prefix(end + 1);
        } else {
            break;
        }
    }
    if (!StartsWith(text, "<")) return false;
    const std::size_t nameEnd = text.find_first_of(" \t\r\n/>", 1);
    if (nameEnd == std::string_view::npos) return false;
    return LocalName(text.substr(1, nameEnd - 1)) == "VIF";
}

std::size_t ReadXmlFields(const char* path, CByteBuffer& text, bool utf8, std::size_t component, CFieldStore& fields,
                          CWarningList& warnings) {
    const SDeclaration declaration = FindDeclaration({text.Data(), text.Size()});
    if (declaration.start != std::string_view::npos && declaration.start > 0) {
        // Expat takes a declaration only at the very start. It has been read
        // here, so it becomes blanks, which keeps every line and column.
        const std::size_t line = Position({text.Data(), text.Size()}, declaration.start).first;
        warnings.Add(line, {text.Data() + declaration.start, declaration.end - declaration.start},
                     "the XML declaration follows blank lines or comments; read as XML");
        std::replace_if(
            text.Data() + declaration.start, text.Data() + declaration.end, [](char c) { return c != '\n'; }, ' ');
    }
    if (!utf8) {
        const auto at = declaration.start == std::string_view::npos
            ? std::pair<unsigned long, unsigned long>{1, 1}
            : Position({text.Data(), text.Size()}, declaration.start);
        const std::string from = EncodingToConvert(path, declaration.encoding, at, warnings);
        if (!from.empty()) ConvertToUtf8(path, text, declaration.encoding, from, at);
    }
    CXmlReader reader(path, component, fields, warnings);
    return reader.Read({text.Data(), text.Size()});
}
