// Arbitrary bytes as an XML document, then the operations the host applies
// to its configuration. Checked: a document that parses writes text that
// parses to the same text; a value, an attribute and a child set on the root
// read back the same, also after the document is written and parsed again.
#include "Proto/XmlProto.h"

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
    const std::string path = "/*[1]";
    const std::string value = "v <&> \"'";
    if (!doc.set_value(path, value) || doc.get_str(path, "-") != value)
        std::abort();
    if (!doc.set_attr(path, "fuzz", value) || doc.get_attr(path, "fuzz", "-") != value)
        std::abort();
    if (!doc.add_child(path, "fuzzChild", "7") || doc.get_int(path + "/fuzzChild", -1) != 7)
        std::abort();
    proto::CXmlProto reread;
    if (!reread.set_str(doc.to_str(0)) || reread.get_attr(path, "fuzz", "-") != value
        || reread.get_int(path + "/fuzzChild", -1) != 7)
        std::abort();
    return 0;
}
