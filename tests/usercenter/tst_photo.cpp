#include "support/screentext.h"
#include "support/testmain.h"
#include "uccfixture.h"
#include "views/usercenter/avatarcropview.h"
#include "views/usercenter/photoview.h"

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace tovra;
using namespace tovra::test;

namespace {
using Fixture = UccFixture<PhotoView>;

struct Multipart
{
    QByteArray disposition, type, bytes;
};

// The single part of a multipart/form-data body, or nothing if it is not framed as one.
std::optional<Multipart> onlyPart(const FakeSite::Request &request)
{
    const QByteArray contentType = request.header("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    if (!contentType.startsWith(prefix))
        return std::nullopt;
    const QByteArray boundary = contentType.mid(prefix.size());
    const QByteArray body = request.body;
    const QByteArray open = "--" + boundary + "\r\n", close = "\r\n--" + boundary + "--\r\n";
    if (!boundary.startsWith("Boundary-") || !body.startsWith(open) || !body.endsWith(close))
        return std::nullopt;
    const qsizetype headEnd = body.indexOf("\r\n\r\n");
    const QList<QByteArray> head = body.mid(open.size(), headEnd - open.size()).split('\n');
    if (head.size() != 2)
        return std::nullopt;
    return Multipart{head.at(0).trimmed(), head.at(1).trimmed(), body.mid(headEnd + 4, body.size() - close.size() - headEnd - 4)};
}
}

class TestPhoto : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_files;
    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_files.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }

private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void nothingChosenOrNotAnImage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("cancelled") << QString();
        QTest::newRow("not an image") << file(QStringLiteral("fake.png"), "<html>no</html>");
        QTest::newRow("missing") << m_files.filePath(QStringLiteral("gone.jpg"));
    }
    void nothingChosenOrNotAnImage()
    {
        QFETCH(QString, path);
        Fixture f;
        PhotoView &view = f.show();
        view.setFileChooser([path](QWidget *) { return path; });
        view.pick();
        QVERIFY(!view.cropSheet());
        QVERIFY(!view.message());
    }

    // Whatever was picked, the site receives the editor's 640 × 640 JPEG as "avatar.jpg".
    void uploadsCroppedJpegAndReloadsAccount()
    {
        Fixture f;
        QVERIFY(f.signIn(false));
        const QString photo = f.poster(3);
        f.site.route(QStringLiteral("/api/photo_upload"),
                     FakeSite::ok(QStringLiteral(R"({"photo":"a.jpg","photo_url":"%1"})").arg(photo).toUtf8()).withDelay(150));
        PhotoView &view = f.show();
        QCOMPARE(view.avatarAddress(), QString());
        const QString gif = m_files.filePath(QStringLiteral("pic.gif"));
        // Named .gif but whatever the image plugins can write: only the content decides.
        file(QStringLiteral("pic.gif"), pngBytes(QSize(300, 200), Qt::red, Qt::blue));
        view.setFileChooser([gif](QWidget *) { return gif; });
        view.pick();
        QPointer<AvatarCropView> first = view.cropSheet();
        QVERIFY(first);
        view.pick(); // a second pick is a fresh editor
        QVERIFY(view.cropSheet() && view.cropSheet() != first);
        QVERIFY(waitFor([&] { return !first; }));

        // The refreshed profile now carries the new photo.
        const QByteArray user = QStringLiteral(R"({"uid":"u1","gold":3,"vip_level":0,"vip_expired":0,"is_vip":false,"photo":"%1"})")
                                    .arg(photo).toUtf8();
        f.site.route(QStringLiteral("/api/me"), FakeSite::ok(user));
        f.site.clearLog();
        view.cropSheet()->confirmButton()->click();
        QVERIFY(waitFor([&] { return !view.cropSheet(); }));
        QVERIFY(view.isBusy());
        QCOMPARE(view.chooseButton()->text(), QStringLiteral("上传中…"));
        QVERIFY(!view.chooseButton()->isEnabled());
        QVERIFY(waitFor([&] { return !view.isBusy(); }));

        const auto sent = f.requests(QStringLiteral("/api/photo_upload"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).method, QByteArray("POST"));
        QCOMPARE(sent.at(0).header("Authorization"), QByteArray("Bearer token-1"));
        const auto part = onlyPart(sent.at(0));
        QVERIFY(part);
        QCOMPARE(part->disposition, QByteArray(R"(Content-Disposition: form-data; name="image"; filename="avatar.jpg")"));
        QCOMPARE(part->type, QByteArray("Content-Type: image/jpeg"));
        QCOMPARE(QImage::fromData(part->bytes, "JPEG").size(), QSize(640, 640));
        // The account reload follows the upload.
        QCOMPARE(f.site.requests().last().path, QStringLiteral("/api/me"));
        QCOMPARE(view.message(), std::optional<QString>(QStringLiteral("头像已更新")));
        QVERIFY(!view.isError());
        QCOMPARE(view.avatarAddress(), photo);
        QCOMPARE(view.chooseButton()->text(), QStringLiteral("选择图片"));
    }

    void failureShownAndCancelKeepsIt()
    {
        Fixture f;
        f.site.route(QStringLiteral("/api/photo_upload"), FakeSite::json(FakeSite::envelope(401, "请先登录")));
        PhotoView &view = f.show();
        const QString png = file(QStringLiteral("p.png"), pngBytes(QSize(64, 64)));
        view.setFileChooser([png](QWidget *) { return png; });
        view.pick();
        QVERIFY(view.cropSheet());
        view.cropSheet()->confirmButton()->click();
        QVERIFY(waitFor([&] { return view.message().has_value() && !view.isBusy(); }));
        QCOMPARE(*view.message(), QStringLiteral("请先登录（401）"));
        QVERIFY(view.isError());
        // Signed out: no token goes with the upload, and no account reload follows a failure.
        QVERIFY(!f.site.requestsTo(QStringLiteral("/api/photo_upload")).at(0).hasHeader("Authorization"));
        QVERIFY(f.site.requestsTo(QStringLiteral("/api/me")).isEmpty());
        view.pick();
        view.cropSheet()->cancelButton()->click();
        QVERIFY(waitFor([&] { return !view.cropSheet(); }));
        QCOMPARE(*view.message(), QStringLiteral("请先登录（401）"));
        QCOMPARE(f.site.requestsTo(QStringLiteral("/api/photo_upload")).size(), 1);
    }

    void grab_data()
    {
        addAppearanceRows();
    }
    void grab()
    {
        QFETCH(bool, dark);
        Fixture f;
        forceAppearance(dark);
        f.paintBackground(dark);
        QVERIFY(f.signIn(false));
        f.site.route(QStringLiteral("/api/photo_upload"), FakeSite::json(FakeSite::envelope(413, "图片太大")));
        PhotoView &view = f.show();
        const QString png = file(QStringLiteral("g.png"), pngBytes(QSize(64, 64)));
        view.setFileChooser([png](QWidget *) { return png; });
        view.pick();
        view.cropSheet()->confirmButton()->click();
        QVERIFY(waitFor([&] { return view.message().has_value() && !view.isBusy(); }));
        const QString file = grabToPng(&f.frame, dark ? QStringLiteral("photo-dark") : QStringLiteral("photo-light"));
        QVERIFY(QFileInfo(file).size() > 0);
        QCOMPARE(view.message(), std::optional(QStringLiteral("图片太大（413）")));
        QVERIFY(view.isError());
        const QStringList texts = shownTexts(&f.frame);
        QVERIFY(texts.contains(QStringLiteral("图片太大（413）")));
        QVERIFY(texts.contains(QStringLiteral("支持 jpg / png / gif / webp，最大 5MB")));
        QVERIFY2(clippedTexts(&f.frame).isEmpty(), qPrintable(clippedTexts(&f.frame).join(u'|')));
        view.pick();
        QVERIFY(QTest::qWaitForWindowExposed(view.cropSheet()));
        const QString sheet = grabToPng(view.cropSheet(), dark ? QStringLiteral("crop-dark") : QStringLiteral("crop-light"));
        QVERIFY(QFileInfo(sheet).size() > 0);
    }
};

TOVRA_TEST(TestPhoto)
#include "tst_photo.moc"
