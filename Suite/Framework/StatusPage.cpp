#include "StatusPage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include <iterator>

namespace {

// Language indexes of simplified and traditional Chinese.
constexpr int kChinese = 1;
constexpr int kChineseTaiwan = 11;

// Laid out for a phone's width first: one column of rows that wrap, no fixed
// widths. The first status comes with the page (STATUS_JSON); later ones
// through the WebSocket, whose loss marks every service stopped until a new
// host answers. The script's data is not named "status", which browsers
// define as a string.
const char kPage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>PRODUCT</title>
<link rel="icon" type="image/png" href="/favicon.png">
<style>
*{box-sizing:border-box}
body{font-family:sans-serif;font-size:16px;line-height:1.4;margin:0 auto;padding:1em;max-width:42em;color:#222}
h1{font-size:1.5em;margin:0;color:#b22}
h2{font-size:1.1em;margin:1.2em 0 .4em}
ul{list-style:none;margin:0;padding:0}
li{display:flex;flex-wrap:wrap;gap:.2em 1em;align-items:baseline;padding:.5em 0;border-bottom:1px solid #ddd;overflow-wrap:anywhere}
.name{flex:1 1 9em;font-weight:bold}
.port{font-variant-numeric:tabular-nums}
.state{min-width:6em;text-align:right}
.on{color:#187a2f}
.off{color:#b22}
#banner{margin:.8em 0;padding:.6em;border-radius:4px;background:#eef6ee}
#banner.gone{background:#fbe9e9;color:#b22;font-weight:bold}
</style></head>
<body>
<h1 id="product"></h1>
<div id="title"></div>
<div id="banner"></div>
<h2 id="servicesTitle"></h2>
<ul id="services"></ul>
<section id="movesSection" hidden><h2 id="movesTitle"></h2><ul id="moves"></ul></section>
<p><a href="/api/status">/api/status</a> (JSON)</p>
<script>
var current = STATUS_JSON, gone = false, since = 0;
function el(id){return document.getElementById(id);}
function two(n){return (n<10?'0':'')+n;}
function uptime(s){var d=Math.floor(s/86400),h=Math.floor(s/3600)-d*24,
 m=Math.floor(s/60)-Math.floor(s/3600)*60,x=s-Math.floor(s/60)*60;
 return (d>0?d+'d ':'')+two(h)+':'+two(m)+':'+two(x);}
function row(cells){var li=document.createElement('li');
 cells.forEach(function(c){var span=document.createElement('span');span.className=c[0];span.textContent=c[1];li.appendChild(span);});
 return li;}
function show(s){
 var t=s.texts;current=s;
 document.title=s.product+' - '+t.title;
 el('product').textContent=s.product;
 el('title').textContent=t.title;
 el('servicesTitle').textContent=t.services;
 el('movesTitle').textContent=t.moved;
 var banner=el('banner');
 banner.className=gone?'gone':'';
 banner.textContent=gone?t.gone:t.since+' '+new Date(s.startedAt).toLocaleString()+' \u00b7 '+t.uptime+' '+uptime(s.upSeconds);
 var list=el('services');list.textContent='';
 s.services.forEach(function(v){var on=v.served&&!gone;
  list.appendChild(row([['name',v.name],['port',String(v.port)],['state '+(on?'on':'off'),on?t.started:t.stopped]]));});
 var moves=el('moves');moves.textContent='';
 s.moves.forEach(function(m){
  moves.appendChild(row([['name',m.name],['port',m.from+' \u2192 '+m.to],['holder',m.heldBy?t.heldBy+' '+m.heldBy:t.holderUnknown]]));});
 el('movesSection').hidden=s.moves.length===0;
}
function connect(){
 var ws=new WebSocket('ws://'+location.hostname+':'+current.webSocketPort+'/');
 ws.onmessage=function(e){gone=false;show(JSON.parse(e.data));};
 ws.onclose=function(){gone=true;show(current);setTimeout(connect,2000);};
}
show(current);
connect();
</script>
</body></html>
)";

} // namespace

QJsonObject CStatusPage::texts(int language)
{
    static const char* const kKeys[] = {"title",  "services", "started", "stopped",       "since",
                                        "uptime", "moved",    "heldBy",  "holderUnknown", "gone"};
    static const char* const kChineseTexts[] = {"服务状态",
                                                "服务",
                                                "已启动",
                                                "已停止",
                                                "启动于",
                                                "已运行",
                                                "上次启动时移动的端口",
                                                "原占用者",
                                                "占用者未知",
                                                "连接已断开：主机已停止。主机重新启动后本页自动恢复。"};
    static const char* const kChineseTaiwanTexts[] = {"服務狀態",
                                                      "服務",
                                                      "已啟動",
                                                      "已停止",
                                                      "啟動於",
                                                      "已執行",
                                                      "上次啟動時移動的連接埠",
                                                      "原占用者",
                                                      "占用者不明",
                                                      "連線已中斷：主機已停止。主機重新啟動後本頁自動恢復。"};
    static const char* const kEnglishTexts[] = {
        "Service status",
        "Services",
        "Started",
        "Stopped",
        "Started at",
        "up for",
        "Ports moved at the last start",
        "was held by",
        "holder unknown",
        "Connection lost: the host has stopped. This page follows it when it comes back."};
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
    QJsonArray services;
    QJsonArray moves;
    for (const FrameworkStatus::Service& entry : status.services) {
        const FrameworkService& service = entry.service;
        const QString name = QString::fromStdString(service.name);
        services.append(QJsonObject{{"name", name}, {"port", service.port}, {"served", entry.served}});
        if (service.movedFrom != 0)
            moves.append(QJsonObject{{"name", name},
                                     {"from", service.movedFrom},
                                     {"to", service.port},
                                     {"heldBy", QString::fromStdString(service.heldBy)}});
    }
    QJsonObject o;
    o.insert("product", QString::fromStdString(status.product));
    o.insert("services", services);
    o.insert("moves", moves);
    o.insert("httpPort", status.httpPort);
    o.insert("webSocketPort", status.webSocketPort);
    o.insert("videoWallPort", status.videoWallPort);
    o.insert("httpListening", status.httpListening);
    o.insert("webSocketListening", status.webSocketListening);
    o.insert("startedAt", static_cast<double>(status.startedAtMs));
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
    QByteArray page(kPage);
    page.replace("PRODUCT", QString::fromStdString(status.product).toHtmlEscaped().toUtf8());
    // Inside a script element nothing may close it.
    page.replace("STATUS_JSON", statusJson(status).replace("</", "<\\/"));
    return page;
}
