#pragma once

#include <QObject>
#include <QUrl>

#include <vector>

namespace support {

// Catches what the application hands to the desktop (help pages in the browser, mail drafts) in
// place of opening it: registered as the handler of http, https and mailto for its lifetime.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    UrlRecorder();
    ~UrlRecorder() override;

    const std::vector<QUrl>& urls() const { return mUrls; }
    void clear() { mUrls.clear(); }

public slots:
    void openUrl(const QUrl& url);

private:
    std::vector<QUrl> mUrls;
};

} // namespace support
