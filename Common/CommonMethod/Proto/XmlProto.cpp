#include "CommonMethod/Proto/XmlProto.h"

#include "Base/Log.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace proto {

namespace {

const char* const kEncoding = "UTF-8";

const xmlChar* X(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

void initLibrary()
{
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
}

xmlDocPtr newEmptyDocument()
{
    return xmlNewDoc(BAD_CAST "1.0");
}

// Configuration documents carry no document type declaration. Refusing one
// as soon as it starts keeps every entity declaration (and so any expansion)
// out of the parser.
struct ParseState
{
    bool doctypeRefused = false;
};

void refuseDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser->_private)
        static_cast<ParseState*>(parser->_private)->doctypeRefused = true;
    xmlStopParser(parser);
}

void ignoreXPathError(void*, xmlErrorPtr)
{
}

// The node set of an XPath expression over a document; empty when the
// expression does not compile or selects no nodes.
class XPathQuery
{
public:
    XPathQuery(xmlDocPtr doc, const std::string& path)
    {
        if (path.empty())
            return;
        m_context = xmlXPathNewContext(doc);
        if (!m_context)
            return;
        m_context->error = ignoreXPathError;
        m_result = xmlXPathEvalExpression(X(path), m_context);
    }
    ~XPathQuery()
    {
        if (m_result)
            xmlXPathFreeObject(m_result);
        if (m_context)
            xmlXPathFreeContext(m_context);
    }
    XPathQuery(const XPathQuery&) = delete;
    XPathQuery& operator=(const XPathQuery&) = delete;

    int size() const
    {
        if (!m_result || m_result->type != XPATH_NODESET || !m_result->nodesetval)
            return 0;
        return m_result->nodesetval->nodeNr;
    }
    xmlNodePtr at(int index) const
    {
        return index >= 0 && index < size() ? m_result->nodesetval->nodeTab[index] : nullptr;
    }
    xmlNodePtr first() const { return at(0); }

private:
    xmlXPathContextPtr m_context = nullptr;
    xmlXPathObjectPtr m_result = nullptr;
};

std::string takeXmlString(xmlChar* text)
{
    if (!text)
        return std::string();
    std::string result(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return result;
}

// Serialises a document as UTF-8, optionally without the XML declaration;
// formatted: one element per line, indented, and an empty element keeps its
// start and end tag as a hand-written file has it.
std::string serialise(xmlDocPtr doc, int stripDeclaration, bool formatted = false)
{
    std::string text;
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlSaveCtxtPtr save =
        buffer ? xmlSaveToBuffer(buffer, kEncoding, formatted ? XML_SAVE_FORMAT | XML_SAVE_NO_EMPTY : 0) : nullptr;
    if (save) {
        xmlSaveDoc(save, doc);
        xmlSaveClose(save);
        text.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                    static_cast<std::size_t>(xmlBufferLength(buffer)));
    }
    if (buffer)
        xmlBufferFree(buffer);
    if (stripDeclaration == 1 && text.find("<?xml version=") != std::string::npos) {
        std::string::size_type end = text.find("?>\n");
        std::string::size_type markerLength = 3;
        if (end == std::string::npos) {
            end = text.find("?>");
            markerLength = 2;
        }
        if (end != std::string::npos)
            text.erase(0, end + markerLength);
    }
    return text;
}

// "&" becomes "&amp;", so libxml2's content setters store every character
// literally.
std::string escapeAmpersands(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value) {
        if (c == '&')
            escaped += "&amp;";
        else
            escaped += c;
    }
    return escaped;
}

bool validElementName(const std::string& name)
{
    return !name.empty() && xmlValidateName(X(name), 0) == 0;
}

int elementChildCount(xmlNodePtr node, xmlNodePtr* firstElement)
{
    int count = 0;
    for (xmlNodePtr child = node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            if (count == 0 && firstElement)
                *firstElement = child;
            ++count;
        }
    }
    return count;
}

struct PathStep
{
    std::string name;
    int position = 1;
    std::string withPosition;    // XPath from the root down to this step, positioned
    std::string withoutPosition; // the same, this step without its position
};

// Splits an element path ("/a/b[2]/c") into its steps; false for an empty
// path, a bad name or a position below 1.
bool splitPath(const std::string& path, std::vector<PathStep>& steps)
{
    steps.clear();
    std::string parent;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string token = path.substr(start, slash - start);
        start = slash + 1;
        if (token.empty())
            continue;
        PathStep step;
        const std::string::size_type bracket = token.find('[');
        step.name = token.substr(0, bracket);
        if (bracket != std::string::npos) {
            const std::string::size_type close = token.find(']', bracket);
            step.position = CXmlProto::toInt(
                token.substr(bracket + 1, close == std::string::npos ? std::string::npos : close - bracket - 1));
        }
        if (!validElementName(step.name) || step.position <= 0)
            return false;
        step.withoutPosition = parent + "/" + step.name;
        step.withPosition = step.withoutPosition + "[" + std::to_string(step.position) + "]";
        parent = step.withPosition;
        steps.push_back(step);
    }
    return !steps.empty() && steps.front().position == 1;
}

} // namespace

CXmlProto::CXmlProto()
{
    initLibrary();
    m_doc = newEmptyDocument();
}

CXmlProto::CXmlProto(IProto& other)
    : CXmlProto()
{
    set_str(other.to_str(0));
}

CXmlProto::~CXmlProto()
{
    xmlFreeDoc(m_doc);
}

int CXmlProto::toInt(const std::string& text)
{
    std::string::size_type i = 0;
    while (i < text.size()
           && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' || text[i] == '\v'
               || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturate instead of overflowing
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool CXmlProto::set_str(const std::string& text)
{
    xmlFreeDoc(m_doc);
    m_doc = nullptr;

    std::string error;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "document too large";
    } else if (xmlParserCtxtPtr parser = xmlNewParserCtxt()) {
        ParseState state;
        parser->_private = &state;
        parser->sax->internalSubset = refuseDoctype;
        const int options = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
        xmlDocPtr doc =
            xmlCtxtReadMemory(parser, text.data(), static_cast<int>(text.size()), nullptr, kEncoding, options);
        if (state.doctypeRefused) {
            xmlFreeDoc(doc);
            doc = nullptr;
            error = "document type declarations are not accepted";
        } else if (!doc) {
            xmlErrorPtr last = xmlCtxtGetLastError(parser);
            error = last && last->message ? last->message : "unknown error";
            while (!error.empty() && (error.back() == '\n' || error.back() == '\r'))
                error.pop_back();
        }
        m_doc = doc;
        xmlFreeParserCtxt(parser);
    } else {
        error = "out of memory";
    }

    if (m_doc)
        return true;
    TLOG_ERROR("read xml faild, error %s.", error.c_str());
    m_doc = newEmptyDocument();
    return false;
}

std::string CXmlProto::get_xml(const std::string& path, int stripDeclaration)
{
    XPathQuery query(m_doc, path);
    xmlNodePtr node = query.first();
    if (!node)
        return std::string();
    xmlNodePtr child = nullptr;
    const int elements = elementChildCount(node, &child);
    if (elements == 0)
        return takeXmlString(xmlNodeGetContent(node));
    if (elements > 1)
        return std::string();

    // One element child: it becomes the root of a small document of its own.
    xmlDocPtr doc = newEmptyDocument();
    const int recursive = elementChildCount(child, nullptr) > 0 ? 1 : 2; // 2: attributes only
    xmlNodePtr copy = xmlDocCopyNode(child, doc, recursive);
    if (copy)
        xmlDocSetRootElement(doc, copy);
    const std::string text = serialise(doc, stripDeclaration);
    xmlFreeDoc(doc);
    return text;
}

std::string CXmlProto::to_str(int stripDeclaration)
{
    return serialise(m_doc, stripDeclaration);
}

std::string CXmlProto::to_formatted_str()
{
    return serialise(m_doc, 0, true);
}

int CXmlProto::count(const std::string& path)
{
    return XPathQuery(m_doc, path).size();
}

std::string CXmlProto::get_str(const std::string& path, const std::string& defaultValue)
{
    XPathQuery query(m_doc, path);
    xmlNodePtr node = query.first();
    if (!node)
        return defaultValue;
    const std::string text = takeXmlString(xmlNodeListGetString(m_doc, node->children, 1));
    return text.empty() ? defaultValue : text;
}

std::string CXmlProto::get_str_at(const std::string& path, int index)
{
    XPathQuery query(m_doc, path);
    xmlNodePtr node = query.at(index);
    if (!node)
        return std::string();
    return takeXmlString(xmlNodeListGetString(m_doc, node->children, 1));
}

int CXmlProto::get_int(const std::string& path, int defaultValue)
{
    const std::string text = get_str(path, std::string());
    return text.empty() ? defaultValue : toInt(text);
}

xmlNodePtr CXmlProto::createPath(const std::string& path)
{
    std::vector<PathStep> steps;
    if (!splitPath(path, steps))
        return nullptr;
    xmlNodePtr root = xmlDocGetRootElement(m_doc);
    if (root && steps.front().name != reinterpret_cast<const char*>(root->name))
        return nullptr;

    // Find the first step that has to be created, from the last one upwards.
    std::size_t createFrom = 0;
    for (std::size_t i = steps.size(); i-- > 0;) {
        const int existing = count(steps[i].withoutPosition);
        if (existing > 0) {
            if (steps[i].position > existing + 1)
                return nullptr;
            createFrom = steps[i].position == existing + 1 ? i : i + 1;
            break;
        }
        if (steps[i].position != 1)
            return nullptr;
    }

    xmlNodePtr current = nullptr;
    std::size_t next = createFrom;
    if (createFrom == 0) {
        current = xmlNewDocNode(m_doc, nullptr, X(steps[0].name), nullptr);
        if (!current)
            return nullptr;
        xmlDocSetRootElement(m_doc, current);
        next = 1;
    } else {
        current = XPathQuery(m_doc, steps[createFrom - 1].withPosition).first();
        if (!current)
            return nullptr;
    }
    for (; next < steps.size(); ++next) {
        xmlNodePtr child = xmlNewDocNode(m_doc, nullptr, X(steps[next].name), nullptr);
        if (!child)
            return nullptr;
        current = xmlAddChild(current, child);
    }
    return current;
}

bool CXmlProto::set_value(const std::string& path, const std::string& value)
{
    xmlNodePtr node = createPath(path);
    if (!node)
        return false;
    if (value.empty())
        xmlNodeSetContent(node, nullptr);
    else
        xmlNodeSetContent(node, X(escapeAmpersands(value)));
    return true;
}

bool CXmlProto::set_int(const std::string& path, int value)
{
    return set_value(path, std::to_string(value));
}

bool CXmlProto::set_proto(const std::string& path, IProto* other)
{
    auto* source = dynamic_cast<CXmlProto*>(other);
    if (!source || path.empty())
        return false;
    CXmlProto copy(static_cast<IProto&>(*source));
    xmlNodePtr copyRoot = xmlDocGetRootElement(copy.m_doc);
    if (!copyRoot)
        return false;
    xmlNodePtr parent = createPath(path);
    if (!parent)
        return false;
    for (xmlNodePtr node = copyRoot; node; node = node->next) {
        xmlNodePtr graft = xmlDocCopyNode(node, m_doc, 1);
        if (graft)
            xmlAddChild(parent, graft);
    }
    return true;
}

std::string CXmlProto::get_attr(const std::string& path, const std::string& attrName, const std::string& defaultValue)
{
    XPathQuery query(m_doc, path);
    xmlNodePtr node = query.first();
    if (!node || node->type != XML_ELEMENT_NODE || !xmlHasProp(node, X(attrName)))
        return defaultValue;
    return takeXmlString(xmlGetProp(node, X(attrName)));
}

int CXmlProto::get_attr_int(const std::string& path, const std::string& attrName, int defaultValue)
{
    const std::string text = get_attr(path, attrName, std::string());
    return text.empty() ? defaultValue : toInt(text);
}

bool CXmlProto::set_attr_int(const std::string& path, const std::string& attrName, int value)
{
    return set_attr(path, attrName, std::to_string(value));
}

bool CXmlProto::set_attr(const std::string& path, const std::string& attrName, const std::string& value)
{
    XPathQuery query(m_doc, path);
    xmlNodePtr node = query.first();
    if (node && node->type == XML_ELEMENT_NODE && validElementName(attrName))
        xmlSetProp(node, X(attrName), X(value));
    return true;
}

xmlNodePtr CXmlProto::add_child_int(xmlNodePtr parentNode, const std::string& name, int value)
{
    return add_child(parentNode, name, std::to_string(value));
}

xmlNodePtr CXmlProto::add_child(xmlNodePtr parentNode, const std::string& name, const std::string& value)
{
    if (!validElementName(name))
        return nullptr;
    if (!xmlDocGetRootElement(m_doc)) {
        xmlNodePtr root = xmlNewDocNode(m_doc, nullptr, X(name), nullptr);
        if (root)
            xmlDocSetRootElement(m_doc, root);
        return root;
    }
    if (!parentNode || parentNode->doc != m_doc)
        return nullptr;
    xmlNodePtr child = xmlNewDocNode(m_doc, nullptr, X(name), nullptr);
    if (!child)
        return nullptr;
    xmlAddChild(parentNode, child);
    if (!value.empty())
        xmlNodeSetContent(child, X(escapeAmpersands(value)));
    return child;
}

bool CXmlProto::add_child_int(const std::string& path, const std::string& name, int value)
{
    return add_child(path, name, std::to_string(value));
}

bool CXmlProto::add_child(const std::string& path, const std::string& name, const std::string& value)
{
    if (!xmlDocGetRootElement(m_doc))
        return add_child(static_cast<xmlNodePtr>(nullptr), name, value) != nullptr;
    XPathQuery query(m_doc, path);
    xmlNodePtr parent = query.first();
    if (!parent || parent->type != XML_ELEMENT_NODE)
        return false;
    return add_child(parent, name, value) != nullptr;
}

xmlNodePtr CXmlProto::get_node(const std::string& path)
{
    return XPathQuery(m_doc, path).first();
}

IProto* CXmlProto::clone(bool withContent)
{
    auto* copy = new CXmlProto();
    if (withContent)
        copy->set_str(to_str(0));
    return copy;
}

bool CXmlProto::clear()
{
    xmlFreeDoc(m_doc);
    m_doc = newEmptyDocument();
    return true;
}

} // namespace proto
