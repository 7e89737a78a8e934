// The logo and the button "Compléments: Chez Tavelin" hand their completed addresses to the
// desktop; the opener is replaced, so no browser ever starts.
#include "app/form1.h"
#include "app/links.h"
#include "tests/app/formtest.h"
#include "view/pictureview.h"

#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

class LinksTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void controlsOpenTheirPages_data();
    void controlsOpenTheirPages();
    void onlyALeftClickOnTheLogoOpens();
    void refusalShowsNothing();
    void completesTheAddress_data();
    void completesTheAddress();

private:
    std::unique_ptr<TForm1> form;
    QList<QUrl> opened;
    bool accepts = true;
    QStringList messages;
};

void LinksTest::init()
{
    form = std::make_unique<TForm1>();
    form->effects.openUrl = [this](const QUrl &url) {
        opened << url;
        return accepts;
    };
    form->effects.showFailure = [this](const QString &message) {
        messages << message;
    };
    form->effects.messageBox = [this](const QString &text, const QString &) {
        messages << text;
    };
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void LinksTest::cleanup()
{
    form.reset();
    opened.clear();
    messages.clear();
    accepts = true;
}

void LinksTest::controlsOpenTheirPages_data()
{
    QTest::addColumn<bool>("logo");
    QTest::addColumn<QUrl>("page");
    QTest::newRow("logo: home page")
        << true << QUrl(QStringLiteral("http://example.org/korvalen/"));
    QTest::newRow("button: lunar mountains")
        << false
        << QUrl(QStringLiteral("http://example.org/korvalen/mesurer-les-montagnes-lunaires.html"));
}

void LinksTest::controlsOpenTheirPages()
{
    QFETCH(bool, logo);
    QFETCH(QUrl, page);
    if (logo) {
        control<QTabWidget>(*form, "PageControl1")
            ->setCurrentWidget(control<QWidget>(*form, "TabSheet1"));
        QTest::mouseClick(layerOf(*form, "Image1"), Qt::LeftButton, {}, QPoint(20, 20));
    } else {
        control<QTabWidget>(*form, "PageControl1")
            ->setCurrentWidget(control<QWidget>(*form, "TabSheet2"));
        QTest::mouseClick(buttonOf(*form, "Button5"), Qt::LeftButton);
    }
    QCOMPARE(opened, QList<QUrl>{page});
    // Each click asks again; nothing remembers the first.
    if (logo)
        QTest::mouseClick(layerOf(*form, "Image1"), Qt::LeftButton, {}, QPoint(20, 20));
    else
        QTest::mouseClick(buttonOf(*form, "Button5"), Qt::LeftButton);
    QCOMPARE(opened, (QList<QUrl>{page, page}));
}

void LinksTest::onlyALeftClickOnTheLogoOpens()
{
    QTest::mouseClick(layerOf(*form, "Image1"), Qt::RightButton, {}, QPoint(20, 20));
    QTest::mouseClick(layerOf(*form, "Image1"), Qt::MiddleButton, {}, QPoint(20, 20));
    QVERIFY(opened.isEmpty());
    // A double click opens the page once, not twice: its second press does not count.
    QTest::mouseClick(layerOf(*form, "Image1"), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseDClick(layerOf(*form, "Image1"), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(opened.size(), 1);
}

void LinksTest::refusalShowsNothing()
{
    accepts = false;
    QTest::mouseClick(buttonOf(*form, "Button5"), Qt::LeftButton);
    QTest::mouseClick(layerOf(*form, "Image1"), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(opened.size(), 2);
    QVERIFY(messages.isEmpty());
    QVERIFY(!form->openurl(QString::fromUtf8(links::kHomePage)));
    accepts = true;
    QVERIFY(form->openurl(QString::fromUtf8(links::kHomePage)));
}

void LinksTest::completesTheAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("handed");
    QTest::newRow("no scheme, own letters kept")
        << QStringLiteral("example.org/Lune/Montagnes.html")
        << QStringLiteral("http://example.org/Lune/Montagnes.html");
    QTest::newRow("scheme in capitals")
        << QStringLiteral("HTTP://example.org/") << QStringLiteral("http://example.org/");
    QTest::newRow("scheme further in: left as it is")
        << QStringLiteral("example.org/?next=http://example.net/")
        << QStringLiteral("example.org/?next=http://example.net/");
}

void LinksTest::completesTheAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, handed);
    QVERIFY(form->openurl(address));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.front().toString(), handed);
}

QTEST_MAIN(LinksTest)
#include "links_test.moc"
