#include "StatusPage.h"

#include <QJsonDocument>
#include <QString>

#include <iterator>

namespace {

// Language indexes of simplified and traditional Chinese.
constexpr int kChinese = 1;
constexpr int kChineseTaiwan = 11;

QString escapeHtml(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

QJsonObject CStatusPage::texts(int language)
{
    static const char* const kKeys[] = {"title",  "httpPort", "webSocketPort", "videoWallPort",
                                        "uptime", "running",  "stopped",       "disconnected"};
    static const char* const kChineseTexts[] = {"服务状态", "HTTP 端口", "WebSocket 端口", "电视墙端口",
                                                "运行时间", "运行中",    "已停止",         "连接已断开"};
    static const char* const kChineseTaiwanTexts[] = {"服務狀態", "HTTP 連接埠", "WebSocket 連接埠",
                                                      "電視牆連接埠", "執行時間", "執行中", "已停止",
                                                      "連線已中斷"};
    static const char* const kEnglishTexts[] = {"Service status", "HTTP port", "WebSocket port",
                                                "Video wall port", "Up for", "running", "stopped",
                                                "Connection lost"};
    static_assert(std::size(kKeys) == std::size(kChineseTexts) && std::size(kKeys) == std::size(kChineseTaiwanTexts)
                      && std::size(kKeys) == std::size(kEnglishTexts),
                  "every language has a text for every key");
    const char* const* texts = language == kChinese         ? kChineseTexts
                               : language == kChineseTaiwan ? kChineseTaiwanTexts
                                                            : kEnglishTexts;
    QJsonObject t;
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        t.insert(QLatin1String(kKeys[i]), QString::fromUtf8(texts[i]));
    return t;
}

QJsonObject CStatusPage::statusObject(const FrameworkStatus& status)
{
    QJsonObject o;
    o.insert("product", kProductName);
    o.insert("httpPort", status.httpPort);
    o.insert("webSocketPort", status.webSocketPort);
    o.insert("videoWallPort", status.videoWallPort);
    o.insert("httpListening", status.httpListening);
    o.insert("webSocketListening", status.webSocketListening);
    o.insert("upSeconds", static_cast<double>(status.upSeconds));
    o.insert("language", status.language);
    o.insert("texts", texts(status.language));
    return o;
}

QByteArray CStatusPage::statusJson(const FrameworkStatus& status)
{
    return QJsonDocument(statusObject(status)).toJson(QJsonDocument::Compact);
}

QByteArray CStatusPage::html(const FrameworkStatus& status)
{
    const QJsonObject t = texts(status.language);
    const QString product = QString::fromLatin1(kProductName);
    // The first status arrives with the page; later ones through the socket.
    // (The script holds no '%' so that the placeholders stay unambiguous; its
    // data is not named "status", which browsers define as a string.)
    const QString page = QStringLiteral(R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>%1 &ndash; %2</title>
<link rel="icon" type="image/png" href="/favicon.png">
<style>
body{font-family:sans-serif;margin:2em;color:#333}
h1{color:#b22}
table{border-collapse:collapse}
td{padding:.3em 1em .3em 0}
#state{color:#888}
</style></head>
<body>
<h1>%1 &ndash; <span id="title">%2</span></h1>
<table>
<tr><td id="l-http">%3</td><td id="httpPort">%4</td></tr>
<tr><td id="l-ws">%5</td><td id="webSocketPort">%6</td></tr>
<tr><td id="l-vw">%7</td><td id="videoWallPort">%8</td></tr>
<tr><td id="l-up">%9</td><td id="uptime"></td></tr>
</table>
<p id="state"></p>
<p><a href="/api/status">/api/status</a> (JSON)</p>
<script>
var current = %10;
function two(n){return (n<10?'0':'')+n;}
function uptime(s){var d=Math.floor(s/86400),h=Math.floor(s/3600)-d*24,
 m=Math.floor(s/60)-Math.floor(s/3600)*60,x=s-Math.floor(s/60)*60;
 return (d>0?d+'d ':'')+two(h)+':'+two(m)+':'+two(x);}
function show(s){
 var t=s.texts;
 document.getElementById('title').textContent=t.title;
 document.title=s.product+' - '+t.title;
 document.getElementById('l-http').textContent=t.httpPort;
 document.getElementById('l-ws').textContent=t.webSocketPort;
 document.getElementById('l-vw').textContent=t.videoWallPort;
 document.getElementById('l-up').textContent=t.uptime;
 document.getElementById('httpPort').textContent=s.httpPort+' ('+(s.httpListening?t.running:t.stopped)+')';
 document.getElementById('webSocketPort').textContent=s.webSocketPort+' ('+(s.webSocketListening?t.running:t.stopped)+')';
 document.getElementById('videoWallPort').textContent=s.videoWallPort;
 document.getElementById('uptime').textContent=uptime(s.upSeconds);
 document.getElementById('state').textContent='';
 current=s;
}
function connect(){
 var ws=new WebSocket('ws://'+location.hostname+':'+current.webSocketPort+'/');
 ws.onmessage=function(e){show(JSON.parse(e.data));};
 ws.onclose=function(){document.getElementById('state').textContent=current.texts.disconnected;
  setTimeout(connect,3000);};
}
show(current);
connect();
</script>
</body></html>
)")
        .arg(escapeHtml(product), escapeHtml(t.value("title").toString()),
             escapeHtml(t.value("httpPort").toString()), QString::number(status.httpPort),
             escapeHtml(t.value("webSocketPort").toString()), QString::number(status.webSocketPort),
             escapeHtml(t.value("videoWallPort").toString()), QString::number(status.videoWallPort),
             escapeHtml(t.value("uptime").toString()))
        .arg(QString::fromUtf8(statusJson(status)).replace("</", "<\\/"));
    return page.toUtf8();
}
