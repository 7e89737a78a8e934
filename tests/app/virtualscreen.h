#pragma once
// Window tests on screens of chosen sizes and scales: the offscreen platform reads its screens
// from a JSON file named in its options. Elsewhere (a real display) the screens stay the user's.

#include <QApplication>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QTemporaryFile>
#include <QTest>

#include <vector>

/// One offscreen screen: its geometry in device-independent pixels and its device pixel ratio
/// (2 for a display at 200 %, whose logical area is half its physical one).
struct VirtualScreen {
    QRect geometry;
    double ratio = 1;
};

/// Writes the screens' file and points the offscreen platform at it; lives until the
/// application has read it.
class VirtualScreens {
public:
    explicit VirtualScreens(const std::vector<VirtualScreen> &screens)
    {
        if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
            return;
        QJsonArray list;
        for (const VirtualScreen &screen : screens) {
            list.append(QJsonObject{{"name", QStringLiteral("screen%1").arg(list.size())},
                {"x", screen.geometry.x()},
                {"y", screen.geometry.y()},
                {"width", screen.geometry.width()},
                {"height", screen.geometry.height()},
                {"dpr", screen.ratio}});
        }
        if (!file_.open() || file_.write(QJsonDocument(QJsonObject{{"screens", list}}).toJson()) < 0
            || !file_.flush())
            qFatal("cannot write the screens' file");
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + file_.fileName().toLocal8Bit());
    }

private:
    QTemporaryFile file_;
};

/// QTEST_MAIN for a test object whose windows open on the given offscreen screens.
#define KORVALEN_TEST_MAIN_ON_SCREENS(TestObject, ...)                                             \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        const VirtualScreens screens(std::vector<VirtualScreen>{__VA_ARGS__});                     \
        QApplication application(argc, argv);                                                      \
        application.setAttribute(Qt::AA_Use96Dpi, true);                                           \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
