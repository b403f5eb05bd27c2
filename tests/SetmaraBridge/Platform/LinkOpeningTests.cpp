#include "Platform/LinkOpening.hpp"
#include "PlatformTesting.hpp"

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <gtest/gtest.h>

namespace bridge {
namespace {

// Catches the links the desktop would open.
class CaughtLinks : public QObject {
    Q_OBJECT
public:
    QList<QUrl> links;

public Q_SLOTS:
    void open(const QUrl& link) { links.append(link); }
};

TEST(LinkOpeningTests, TheDesktopOpenerHandsLinksToTheDesktop) {
    testing::useApplication();
    CaughtLinks caught;
    QDesktopServices::setUrlHandler("https", &caught, "open");
    const QUrl page("https://setmara.example/gigs/42?from=bridge");
    desktopLinkOpener()(page);
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(caught.links, QList<QUrl>{page});
}

} // namespace
} // namespace bridge

#include "LinkOpeningTests.moc"
