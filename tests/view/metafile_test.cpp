#include "measure/real.h"
#include "metafilebuilder.h"
#include "view/metafile.h"

#include <QTest>

using namespace metafilebuilder;

namespace {

QString failureOf(const QByteArray &data)
{
    try {
        (void)view::readMetafile(data);
    } catch (const measure::Failure &failure) {
        return QString::fromUtf8(failure.what());
    }
    return {};
}

const QRect kInch(0, 0, 2540, 2540);

} // namespace

class MetafileTest : public QObject {
    Q_OBJECT

private slots:
    void contentTest_data();
    void contentTest();
    void naturalSize_data();
    void naturalSize();
};

void MetafileTest::contentTest_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");

    const QByteArray bkMode = emfRecord(18, {1});
    const QByteArray hundred = emfFile(kInch, bkMode, false);
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("enhanced of 100 bytes") << hundred << false;
    QTest::newRow("enhanced of 101 bytes") << emfFile(kInch, emfRecord(18, {1}, "x"), false) << true;
    QTest::newRow("enhanced with its end record") << emfFile(kInch, bkMode) << true;
    QByteArray signature = emfFile(kInch, bkMode);
    signature[40] = 'X';
    QTest::newRow("enhanced with a wrong signature") << signature << false;
    QByteArray firstType = emfFile(kInch, bkMode);
    firstType[0] = 2;
    QTest::newRow("enhanced whose first record is not its header") << firstType << false;
    QTest::newRow("enhanced with a truncated record") << emfFile(kInch, bkMode).chopped(4) << false;
    QTest::newRow("enhanced with a record past the end")
        << emfFile(kInch, emfRecord(18, {1}).replace(4, 1, "\x40")) << false;

    const QByteArray wmf = wmfFile(QRect(0, 0, 100, 50), 96, wmfRecord(0x0102, {1}));
    QTest::newRow("placeable") << wmf << true;
    QByteArray key = wmf;
    key[0] = char(0xD6);
    QTest::newRow("placeable with a wrong key") << key << false;
    QByteArray checksum = wmf;
    checksum[20] = char(checksum[20] ^ 1);
    QTest::newRow("placeable with a bad checksum") << checksum << false;
    QTest::newRow("placeable header alone") << wmf.left(22) << false;
    QTest::newRow("placeable of 21 bytes") << wmf.left(21) << false;
    QTest::newRow("placeable with a truncated record") << wmf.chopped(2) << false;
    QTest::newRow("placeable with a record past the end")
        << wmfFile(QRect(0, 0, 100, 50), 96, wmfRecord(0x0102, {1}).replace(0, 1, "\x30")) << false;
    QTest::newRow("placeable with one inch of zero units")
        << wmfFile(QRect(0, 0, 100, 50), 0, wmfRecord(0x0102, {1})) << false;
    QTest::newRow("bitmap") << QByteArray("BM").append(200, '\0') << false;
}

void MetafileTest::contentTest()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, valid);
    QCOMPARE(failureOf(data), valid ? QString() : QStringLiteral("Metafile is not valid"));
}

void MetafileTest::naturalSize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");

    QTest::newRow("enhanced, one inch") << emfFile(kInch, {}) << QSize(96, 96);
    QTest::newRow("enhanced, 10 × 5 cm") << emfFile(QRect(100, 200, 10000, 5000), {})
                                           << QSize(378, 189);
    QTest::newRow("placeable, 1440 units per inch")
        << wmfFile(QRect(0, 0, 2880, 720), 1440, {}) << QSize(192, 48);
    QTest::newRow("placeable, shifted box") << wmfFile(QRect(-50, 20, 100, 50), 96, {}) << QSize(100, 50);
}

void MetafileTest::naturalSize()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    const auto picture = view::readMetafile(data);
    QCOMPARE(picture->kind(), view::Picture::Kind::Metafile);
    QCOMPARE(picture->naturalSize(), size);
    QCOMPARE(picture->clone()->naturalSize(), size);
}

QTEST_MAIN(MetafileTest)
#include "metafile_test.moc"
