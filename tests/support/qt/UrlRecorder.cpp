#include "support/qt/UrlRecorder.h"

#include <QDesktopServices>

namespace support {

namespace {
const char* const SCHEMES[] = {"http", "https", "mailto"};
}

UrlRecorder::UrlRecorder()
{
    for (const char* scheme : SCHEMES) {
        QDesktopServices::setUrlHandler(scheme, this, "openUrl");
    }
}

UrlRecorder::~UrlRecorder()
{
    for (const char* scheme : SCHEMES) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
}

void UrlRecorder::openUrl(const QUrl& url)
{
    mUrls.push_back(url);
}

} // namespace support
