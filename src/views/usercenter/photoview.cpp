#include "views/usercenter/photoview.h"

#include "models/webaddress.h"
#include "network/apiclient.h"
#include "network/imageloader.h"
#include "store/appsettings.h"
#include "store/authstore.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/symbolview.h"
#include "views/components/typography.h"
#include "views/detail/tint.h"
#include "views/icons.h"
#include "views/usercenter/avatarcropview.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovra {

// The round avatar: the picture filling the circle (cropping what overflows), or the
// placeholder person until a picture has arrived.
class AvatarCircle : public QWidget
{
public:
    static constexpr int kSide = 110;

    explicit AvatarCircle(QWidget *parent) : QWidget(parent)
    {
        setFixedSize(kSide, kSide);
        followAppearance(this);
    }

    void setImage(const QImage &image)
    {
        m_image = image;
        update();
    }
    bool hasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF area(rect());
        QPainterPath circle;
        circle.addEllipse(area);
        painter.setClipPath(circle);
        if (m_image.isNull()) {
            painter.fillRect(area, Palette::surface2());
            Icons::paint(painter, QRectF(area.center() - QPointF(17, 17), QSizeF(34, 34)), QStringLiteral("person.fill"),
                         Palette::textDim());
        } else {
            QSizeF size = m_image.size();
            size.scale(area.size(), Qt::KeepAspectRatioByExpanding);
            painter.drawImage(QRectF(area.center() - QPointF(size.width() / 2, size.height() / 2), size), m_image);
        }
        painter.setClipping(false);
        painter.setPen(QPen(Palette::border(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(area.adjusted(0.5, 0.5, -0.5, -0.5));
    }

private:
    QImage m_image;
};

PhotoView::PhotoView(QWidget *parent) : QWidget(parent), m_chooser(&PhotoView::chooseImageFile)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(24, 24, 24, 24);
    page->setSpacing(16);

    auto *header = new QVBoxLayout;
    header->setSpacing(4);
    header->addWidget(tintedLabel(QStringLiteral("修改头像"), TextStyle::kTitle3, Palette::Name::Text, this, QFont::Bold));
    header->addWidget(tintedLabel(QStringLiteral("支持裁剪和旋转，保存后立即生效"), TextStyle::kCallout,
                                  Palette::Name::TextDim, this));
    page->addLayout(header);

    m_avatar = new AvatarCircle(this);
    page->addWidget(m_avatar, 0, Qt::AlignLeft);

    m_choose = new QPushButton(this);
    m_choose->setDefault(true);
    // The hand stays while the button is disabled during an upload.
    setPointingHand(m_choose);
    connect(m_choose, &QPushButton::clicked, this, &PhotoView::pick);
    page->addWidget(m_choose, 0, Qt::AlignLeft);

    page->addWidget(tintedLabel(QStringLiteral("支持 jpg / png / gif / webp，最大 5MB"), 11, Palette::Name::TextDim, this));

    m_messageRow = new QWidget(this);
    auto *messageLayout = new QHBoxLayout(m_messageRow);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    messageLayout->setSpacing(6);
    m_messageSymbol = new SymbolView(QStringLiteral("checkmark.circle"), 14, Palette::Name::Accent, m_messageRow);
    m_messageText = new QLabel(m_messageRow);
    m_messageText->setTextFormat(Qt::PlainText);
    m_messageText->setFont(uiFont(TextStyle::kCallout));
    m_messageText->setWordWrap(true);
    messageLayout->addWidget(m_messageSymbol, 0, Qt::AlignTop);
    messageLayout->addWidget(m_messageText, 1);
    page->addWidget(m_messageRow);
    page->addStretch(1);

    if (AuthStore *auth = AuthStore::shared()) {
        connect(auth, &AuthStore::userChanged, this, &PhotoView::showAvatar);
        connect(auth, &AuthStore::accountChanged, this, &PhotoView::dropAccount);
    }
    showAvatar();
    render();
    followAppearance(this, [this](bool) { render(); });
}

PhotoView::~PhotoView() = default;

QString PhotoView::chooseImageFile(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, QString(), AppSettings::downloadsOrHome(),
                                        QStringLiteral("图片 (*.jpg *.jpeg *.png *.gif *.webp)"));
}

void PhotoView::showAvatar()
{
    QString address;
    if (AuthStore *auth = AuthStore::shared())
        if (const auto user = auth->user(); user && user->photo)
            address = *user->photo;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || !isWebAddress(url))
        address.clear();
    // The same address keeps the picture on show; only a new one is fetched.
    if (address == m_avatarAddress)
        return;
    m_avatarAddress = address;
    m_avatar->setImage({});
    ImageLoader *loader = ImageLoader::shared();
    if (address.isEmpty() || !loader)
        return;
    const QSize fit = QSize(AvatarCircle::kSide, AvatarCircle::kSide) * devicePixelRatioF();
    loader->load(url, this, [this, address](const QImage &image) {
        if (address == m_avatarAddress)
            m_avatar->setImage(image);
    }, fit);
}

void PhotoView::pick()
{
    if (m_busy || !m_chooser)
        return;
    const QString path = m_chooser(this);
    if (path.isEmpty())
        return;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return;

    closeSheet();
    QPointer self = this;
    auto *sheet = new AvatarCropView(
        image,
        [self](const QByteArray &jpeg) {
            if (!self)
                return;
            self->closeSheet();
            self->upload(jpeg);
        },
        [self] {
            if (self)
                self->closeSheet();
        },
        this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    // Escape or the window's close button dismiss the sheet without either action.
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (m_sheet == sheet)
            m_sheet = nullptr;
    });
    m_sheet = sheet;
    sheet->open();
}

void PhotoView::closeSheet()
{
    if (AvatarCropView *sheet = m_sheet) {
        m_sheet = nullptr;
        sheet->close();
    }
}

QCoro::Task<> PhotoView::upload(QByteArray jpeg)
{
    QPointer self = this;
    QPointer<AuthStore> auth = AuthStore::shared();
    const auto account = m_account.current();
    // The account is reloaded after the write only while it is still the one signed in.
    const AccountTicket asked = AuthStore::shared()->ticket();
    const auto shown = [&] { return self && m_account.isCurrent(account); };
    m_busy = true;
    m_message.reset();
    render();

    const Result<QString> reply =
        co_await APIClient::shared()->uploadPhoto(jpeg, QStringLiteral("avatar.jpg"), QStringLiteral("image/jpeg"));
    if (reply) {
        if (shown()) {
            m_isError = false;
            m_message = QStringLiteral("头像已更新");
            render();
        }
        // The new avatar reaches the account card too, even if the user has left this tab.
        if (auth && asked.isCurrent())
            co_await auth->refresh();
    } else if (shown()) {
        m_isError = true;
        m_message = reply.error().description();
    }
    if (!shown())
        co_return;
    m_busy = false;
    render();
}

// A picture being cropped or the outcome of an upload is the previous account's business.
void PhotoView::dropAccount()
{
    m_account.invalidate();
    closeSheet();
    m_busy = false;
    m_message.reset();
    render();
}

void PhotoView::render()
{
    m_choose->setText(m_busy ? QStringLiteral("上传中…") : QStringLiteral("选择图片"));
    m_choose->setEnabled(!m_busy);
    m_messageRow->setVisible(m_message.has_value());
    if (m_message) {
        const Palette::Name role = m_isError ? Palette::Name::Error : Palette::Name::Accent;
        m_messageSymbol->setName(m_isError ? QStringLiteral("exclamationmark.circle") : QStringLiteral("checkmark.circle"));
        m_messageSymbol->setRole(role);
        QPalette p = m_messageText->palette();
        p.setColor(QPalette::WindowText, Palette::color(role));
        m_messageText->setPalette(p);
        m_messageText->setText(*m_message);
    }
}

}
