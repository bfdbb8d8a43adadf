#pragma once

#include <QImage>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tovra {

// The "官方信息交流群" tab: an invitation to the official chat group with its QR code, a fixed
// picture of the web site fetched like any other image, without the API client's headers.
class GroupView : public QWidget
{
    Q_OBJECT
public:
    explicit GroupView(QWidget *parent = nullptr);
    // address: where the QR code lives (tests point it at a local site).
    explicit GroupView(const QUrl &address, QWidget *parent = nullptr);
    ~GroupView() override;

    // https, the web site's host, "/external/static/image/wx_group.webp".
    static QUrl defaultAddress();

    QImage image() const { return m_image; }
    bool failed() const { return m_failed; }
    // Fetches the QR code again; a code already on show stays until a new one arrives.
    void load();

    QPushButton *retryButton() const { return m_retry; }
    // The form on show: 0 the code, 1 the failure box, 2 the progress indicator.
    int shownForm() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void render();

    QUrl m_address;
    QImage m_image;
    bool m_failed = false;
    bool m_started = false;
    quint64 m_generation = 0;

    QStackedWidget *m_forms = nullptr;
    QLabel *m_code = nullptr;
    QPushButton *m_retry = nullptr;
};

}
