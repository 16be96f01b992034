#pragma once
// proto::IProto over one libxml2 document, parsed and serialised as UTF-8.
//
// Parsing is safe for hostile input: no network access, no external
// entities, and documents with a document type declaration (and so any
// entity declaration) are refused, so nothing can expand.

#include "CommonMethod/Proto/IProto.h"

#include <libxml/tree.h>
#include <string>

namespace proto {

class CXmlProto : public IProto
{
public:
    CXmlProto();                       // an empty "1.0" document
    explicit CXmlProto(IProto& other); // a copy of any document
    ~CXmlProto() override;
    CXmlProto(const CXmlProto&) = delete;
    CXmlProto& operator=(const CXmlProto&) = delete;

    bool set_str(const std::string& text) override;
    std::string get_xml(const std::string& path, int stripDeclaration) override;
    std::string to_str(int stripDeclaration) override;
    // The whole document for a file a person reads and edits: one element
    // per line, indented, with the declaration.
    std::string to_formatted_str();
    int count(const std::string& path) override;
    std::string get_str(const std::string& path, const std::string& defaultValue) override;
    std::string get_str_at(const std::string& path, int index) override;
    int get_int(const std::string& path, int defaultValue) override;
    bool set_proto(const std::string& path, IProto* other) override;
    bool set_int(const std::string& path, int value) override;
    bool set_value(const std::string& path, const std::string& value) override;
    std::string get_attr(const std::string& path, const std::string& attrName,
                         const std::string& defaultValue) override;
    int get_attr_int(const std::string& path, const std::string& attrName, int defaultValue) override;
    bool set_attr_int(const std::string& path, const std::string& attrName, int value) override;
    bool set_attr(const std::string& path, const std::string& attrName, const std::string& value) override;
    xmlNodePtr add_child_int(xmlNodePtr parentNode, const std::string& name, int value) override;
    xmlNodePtr add_child(xmlNodePtr parentNode, const std::string& name, const std::string& value) override;
    bool add_child_int(const std::string& path, const std::string& name, int value) override;
    bool add_child(const std::string& path, const std::string& name, const std::string& value) override;
    xmlNodePtr get_node(const std::string& path) override;
    IProto* clone(bool withContent) override;
    bool clear() override;

    // Decimal conversion used for every text-to-integer step: leading blanks,
    // an optional sign, digits up to the first other character; 0 without
    // digits.
    static int toInt(const std::string& text);

private:
    // Creates the element chain of path (no text set); null on failure.
    xmlNodePtr createPath(const std::string& path);

    xmlDocPtr m_doc = nullptr;
};

} // namespace proto
