// Arbitrary bytes as a web client request, parsed and routed. The first byte picks the peer (loopback or not). Checked: a complete request has a path
// from the root without its query, a bounded body and takes no more than the input; only the fixed routes answer 200; a control callback runs only
// for a loopback POST carrying the control token.
#include "Framework/FrameworkCallbacks.h"
#include "Framework/FrameworkRouter.h"
#include "Framework/HttpRequest.h"

#include <cstdlib>

namespace {

int g_calls = 0;
void countCall(void*)
{
    ++g_calls;
}
bool countSkin(const char*, void*)
{
    return ++g_calls, true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size == 0)
        return 0;
    static CFrameworkCallbacks callbacks;
    static const bool set = [] {
        callbacks.setClose(countCall, nullptr);
        callbacks.setReboot(countCall, nullptr);
        callbacks.setDelayClose(countCall, nullptr);
        callbacks.setRegisterRcc(countSkin, nullptr);
        callbacks.setLanguage([](int) { return ++g_calls, true; });
        return true;
    }();
    (void)set;
    static CFrameworkRouter router(callbacks, [] { return FrameworkStatus(); });
    static const QByteArray token = "fuzz-token";
    router.setToken(token);

    const QHostAddress peer = (data[0] & 1) ? QHostAddress::LocalHost : QHostAddress("192.0.2.7");
    CHttpRequest request;
    const CHttpRequest::Parse result = request.parse(QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)));
    if (result != CHttpRequest::Parse::Complete)
        return 0;
    const QByteArray path = request.path();
    if (!path.startsWith('/') || path.contains('?') || path.contains(' ') || request.body().size() > CHttpRequest::kMaxBodyBytes
        || request.size() > static_cast<int>(size - 1) || request.size() > CHttpRequest::kMaxRequestBytes)
        std::abort();

    g_calls = 0;
    const CHttpResponse response = router.handle(request, peer);
    const bool fixedRoute = path == "/" || path == "/index.html" || path == "/api/status" || path.startsWith("/api/");
    if (response.status() == 200 && !fixedRoute)
        std::abort();
    const bool mayControl = peer.isLoopback() && request.method() == "POST" && request.header("authorization").startsWith("Bearer ")
                            && request.header("authorization").mid(7).trimmed() == token;
    if (g_calls > 0 && !mayControl)
        std::abort();
    if (!response.toBytes().startsWith("HTTP/1.1 "))
        std::abort();
    return 0;
}
