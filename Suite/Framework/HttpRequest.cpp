#include "HttpRequest.h"

#include <http_parser.h>

#include <climits>

// The parser's callbacks gather one request here.
struct HttpParsing
{
    explicit HttpParsing(CHttpRequest& request)
        : request(request)
    {
    }

    // Files the header whose name and value were gathered so far.
    void endHeader()
    {
        if (field.isEmpty())
            return;
        const QByteArray name = field.toLower();
        badName = badName || name.contains(' ');
        hosts += name == "host";
        QByteArray& stored = request.m_headers[name];
        stored += (stored.isEmpty() ? QByteArray() : QByteArrayLiteral(", ")) + value.trimmed();
        field.clear();
        value.clear();
    }

    static HttpParsing& of(http_parser* parser) { return *static_cast<HttpParsing*>(parser->data); }

    static int onUrl(http_parser* parser, const char* at, size_t length)
    {
        of(parser).url.append(at, static_cast<int>(length));
        return 0;
    }

    static int onHeaderField(http_parser* parser, const char* at, size_t length)
    {
        HttpParsing& p = of(parser);
        if (p.inValue)
            p.endHeader();
        p.inValue = false;
        p.field.append(at, static_cast<int>(length));
        return 0;
    }

    static int onHeaderValue(http_parser* parser, const char* at, size_t length)
    {
        HttpParsing& p = of(parser);
        p.inValue = true;
        p.value.append(at, static_cast<int>(length));
        return 0;
    }

    static int onHeadersComplete(http_parser* parser)
    {
        HttpParsing& p = of(parser);
        p.endHeader();
        // No content length reads as the largest value.
        p.tooLarge = parser->content_length != ULLONG_MAX && parser->content_length > CHttpRequest::kMaxBodyBytes;
        // Chunked bodies are not accepted.
        return p.tooLarge || p.request.hasHeader("transfer-encoding") ? -1 : 0;
    }

    static int onBody(http_parser* parser, const char* at, size_t length)
    {
        HttpParsing& p = of(parser);
        if (p.bodyStart < 0)
            p.bodyStart = static_cast<int>(at - p.start);
        p.request.m_body.append(at, static_cast<int>(length));
        return 0;
    }

    static int onMessageComplete(http_parser* parser)
    {
        of(parser).complete = true;
        of(parser).request.m_keepAlive = http_should_keep_alive(parser) != 0;
        http_parser_pause(parser, 1); // one request at a time
        return 0;
    }

    CHttpRequest& request;
    const char* start = nullptr;
    QByteArray url;
    QByteArray field;
    QByteArray value;
    bool inValue = false;
    bool badName = false;
    int hosts = 0;
    bool tooLarge = false;
    bool complete = false;
    int bodyStart = -1;
};

CHttpRequest::Parse CHttpRequest::parse(const QByteArray& buffer)
{
    static const http_parser_settings settings = [] {
        http_parser_settings s{};
        s.on_url = &HttpParsing::onUrl;
        s.on_header_field = &HttpParsing::onHeaderField;
        s.on_header_value = &HttpParsing::onHeaderValue;
        s.on_headers_complete = &HttpParsing::onHeadersComplete;
        s.on_body = &HttpParsing::onBody;
        s.on_message_complete = &HttpParsing::onMessageComplete;
        return s;
    }();
    *this = CHttpRequest();
    HttpParsing parsing(*this);
    parsing.start = buffer.constData();
    http_parser parser;
    http_parser_init(&parser, HTTP_REQUEST);
    parser.data = &parsing;
    const int parsed = static_cast<int>(
        http_parser_execute(&parser, &settings, buffer.constData(), static_cast<size_t>(buffer.size())));
    if (parsing.tooLarge)
        return Parse::TooLarge;
    const http_errno error = HTTP_PARSER_ERRNO(&parser);
    if (error != HPE_OK && error != HPE_PAUSED)
        return Parse::Bad;
    const int headSize = parsing.bodyStart >= 0 ? parsing.bodyStart : parsed;
    if (headSize > kMaxHeaderBytes + 4)
        return Parse::TooLarge;
    if (!parsing.complete)
        return Parse::Incomplete;

    m_size = parsed;
    m_method = http_method_str(static_cast<http_method>(parser.method));
    if (parser.http_major != 1 || parser.http_minor > 1)
        return Parse::UnsupportedVersion;
    http_parser_url url;
    http_parser_url_init(&url);
    if (!parsing.url.startsWith('/')
        || http_parser_parse_url(parsing.url.constData(), static_cast<size_t>(parsing.url.size()), 0, &url) != 0)
        return Parse::Bad;
    m_path = parsing.url.mid(url.field_data[UF_PATH].off, url.field_data[UF_PATH].len);
    // Every line of the head ends in CRLF (the parser also takes a bare LF).
    const QByteArray head = buffer.left(headSize);
    for (int at = head.indexOf('\n'); at >= 0; at = head.indexOf('\n', at + 1)) {
        if (at == 0 || head[at - 1] != '\r')
            return Parse::Bad;
    }
    if (parsing.badName || parsing.hosts > 1 || (parser.http_minor == 1 && parsing.hosts == 0))
        return Parse::Bad;
    return Parse::Complete;
}

QByteArray CHttpRequest::header(const QByteArray& name) const
{
    return m_headers.value(name.toLower());
}
