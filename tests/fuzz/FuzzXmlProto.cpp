// Arbitrary bytes as an XML document, then the operations the host applies to its configuration. Checked: a document that parses writes text that
// parses to the same text; a value, an attribute and a child set on the root read back the same, also after the document is written and parsed again.
#include "CommonMethod/Proto/XmlProto.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    proto::CXmlProto doc;
    if (!doc.set_str(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    const std::string text = doc.to_str(0);
    proto::CXmlProto again;
    if (!again.set_str(text) || again.to_str(0) != text)
        std::abort();

    const xmlNodePtr root = doc.get_node("/*");
    if (!root)
        return 0;
    // Paths are plain element names; a prefixed name needs a namespace the host never registers.
    const std::string path = "/" + std::string(reinterpret_cast<const char*>(root->name));
    if (path.find(':') != std::string::npos)
        return 0;
    const std::string value = "v <&> \"'";
    // A name the parser took but libxml2's name check refuses (some non-ASCII letters) is refused by the setters with false; a plain ASCII one never.
    if (!doc.set_value(path, value)) {
        if (std::all_of(path.begin() + 1, path.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }))
            std::abort();
        return 0;
    }
    if (doc.get_str(path, "-") != value)
        std::abort();
    if (!doc.set_attr(path, "fuzz", value) || doc.get_attr(path, "fuzz", "-") != value)
        std::abort();
    if (!doc.add_child(path, "fuzzChild", "7") || doc.get_int(path + "/fuzzChild", -1) != 7)
        std::abort();
    proto::CXmlProto reread;
    if (!reread.set_str(doc.to_str(0)) || reread.get_attr(path, "fuzz", "-") != value || reread.get_int(path + "/fuzzChild", -1) != 7)
        std::abort();
    return 0;
}
