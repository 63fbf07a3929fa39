#include "vif_xml.h"

#include "run_time_error.h"
#include "vif_line.h"

// Debian builds expat with document type support; its entity limits are
// declared only with it.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <algorithm>
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

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

struct SElement {
    std::string name;  // local name
    std::string value;
    std::string text;
    bool hasValue = false;
    bool hasChild = false;
    bool isComponent = false;
};

class CXmlReader {
public:
    CXmlReader(const char* path, bool utf8, std::size_t component, CFieldStore& fields)
        : m_pPath(path), m_Component(component), m_Fields(fields),
          m_Parser(XML_ParserCreate(utf8 ? "UTF-8" : nullptr)) {
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
            ThrowRunTimeError("Vendor Info File %s has no component %zu (it has %zu).", m_pPath,
                              m_Component, m_Components);
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
        const std::string fault =
            m_Fault.empty() ? XML_ErrorString(XML_GetErrorCode(m_Parser)) : m_Fault;
        ThrowRunTimeError("XML error in Vendor Info File %s at line %lu, column %lu: %s.", m_pPath,
                          line, column, fault.c_str());
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
        if (RecognizeLine(line, name, literal)) m_Fields.Append(element.name, value);
    }

    void EmitText(const SElement& element) {
        if (element.hasValue || element.hasChild || m_Stack.size() == 1) return;
        const std::string_view text = Trim(element.text);
        if (!text.empty()) m_Fields.Append("$" + element.name, text);
    }

    static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char* systemId,
                                  const XML_Char*, int) {
        if (systemId != nullptr)
            Of(data).Stop("the document type refers to an outside file (" + std::string(systemId) +
                          "), which is not read");
    }

    static void XMLCALL OnEntity(void* data, const XML_Char* name, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char* systemId, const XML_Char*,
                                 const XML_Char*) {
        if (systemId != nullptr)
            Of(data).Stop("the entity " + std::string(name) + " refers to an outside file (" +
                          systemId + "), which is not read");
    }

    static void XMLCALL OnSkippedEntity(void* data, const XML_Char* name, int) {
        Of(data).Stop("the entity " + std::string(name) + " is not defined in the file");
    }

    static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                                        const XML_Char* systemId, const XML_Char*) {
        CXmlReader& reader = Of(XML_GetUserData(parser));
        reader.m_Fault = "an entity refers to an outside file (" +
                         std::string(systemId ? systemId : "") + "), which is not read";
        return XML_STATUS_ERROR;
    }

    const char* m_pPath;
    std::size_t m_Component;
    CFieldStore& m_Fields;
    XML_Parser m_Parser;
    std::vector<SElement> m_Stack;
    std::string m_Fault;
    std::size_t m_Components = 0;
    std::size_t m_InComponent = 0;
    std::size_t m_CurrentComponent = 0;
};

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

std::size_t ReadXmlFields(const char* path, std::string_view text, bool utf8, std::size_t component,
                          CFieldStore& fields) {
    CXmlReader reader(path, utf8, component, fields);
    return reader.Read(text);
}
