#pragma once
// A document addressed by XPath 1.0 expressions; the first match of a path
// is the first node of the node set it selects, in document order.

#include <libxml/tree.h>
#include <string>

namespace proto {

class IProto
{
public:
    virtual ~IProto() = default;

    virtual bool set_str(const std::string& text) = 0;
    virtual std::string get_xml(const std::string& path, int stripDeclaration) = 0;
    virtual std::string to_str(int stripDeclaration) = 0;
    virtual int count(const std::string& path) = 0;
    virtual std::string get_str(const std::string& path, const std::string& defaultValue) = 0;
    virtual std::string get_str_at(const std::string& path, int index) = 0;
    virtual int get_int(const std::string& path, int defaultValue) = 0;
    virtual bool set_proto(const std::string& path, IProto* other) = 0;
    virtual bool set_int(const std::string& path, int value) = 0;
    virtual bool set_value(const std::string& path, const std::string& value) = 0;
    virtual std::string get_attr(const std::string& path, const std::string& attrName,
                                 const std::string& defaultValue) = 0;
    virtual int get_attr_int(const std::string& path, const std::string& attrName, int defaultValue) = 0;
    virtual bool set_attr_int(const std::string& path, const std::string& attrName, int value) = 0;
    virtual bool set_attr(const std::string& path, const std::string& attrName, const std::string& value) = 0;
    virtual xmlNodePtr add_child_int(xmlNodePtr parentNode, const std::string& name, int value) = 0;
    virtual xmlNodePtr add_child(xmlNodePtr parentNode, const std::string& name, const std::string& value) = 0;
    virtual bool add_child_int(const std::string& path, const std::string& name, int value) = 0;
    virtual bool add_child(const std::string& path, const std::string& name, const std::string& value) = 0;
    virtual xmlNodePtr get_node(const std::string& path) = 0;
    virtual IProto* clone(bool withContent) = 0;
    virtual bool clear() = 0;
};

} // namespace proto
