#pragma once
// A desktop opener for tests: records the requests and answers with
// `result`; starts nothing.
#include "widgets/DesktopOpener.h"

#include <QList>
#include <QUrl>

namespace qv {

class RecordingDesktopOpener : public DesktopOpener {
public:
    bool open(const QUrl& url) override
    {
        opened.append(url);
        return result;
    }
    QList<QUrl> opened;
    bool result = true;
};

}  // namespace qv
