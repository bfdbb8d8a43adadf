#pragma once

#include <QCoroTask>
#include <QImage>
#include <QList>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tovra {

class BusyIndicator;
class RoundedPanel;

// The "充值BT币（微信）" tab: how to buy coins outside the client. Four price tiers (for
// information only), the WeChat payment QR picture fetched from the site, what to write in the
// payment's note, and the balance with a button that reloads the account once the coins are in.
// Nothing is paid or ordered from here.
class PayView : public QWidget
{
    Q_OBJECT
public:
    enum class QrState { Loading, Shown, Failed };

    explicit PayView(QWidget *parent = nullptr);
    // The same page with the QR picture from another address.
    explicit PayView(QUrl qrAddress, QWidget *parent = nullptr);

    int selectedTier() const { return m_selected; }
    QrState qrState() const;
    const QImage &qrImage() const { return m_image; }
    bool isRefreshing() const { return m_refreshing; }

    const QList<QPushButton *> &tierButtons() const { return m_tiers; }
    QPushButton *retryButton() const { return m_retry; }
    QPushButton *refreshButton() const { return m_refresh; }
    // Hidden while nobody is signed in.
    QLabel *balanceLabel() const { return m_balance; }

public slots:
    void selectTier(int position);
    // Fetches the QR picture again; only offered while the last attempt failed.
    void load();
    void refreshBalance();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildTiers();
    QWidget *buildQr();
    QWidget *buildNotes();
    QCoro::Task<> runRefresh();
    void render();

    QUrl m_qrAddress;
    int m_selected;
    QImage m_image;
    bool m_failed = false;
    bool m_refreshing = false;
    bool m_started = false;

    QList<QPushButton *> m_tiers;
    QStackedWidget *m_qr = nullptr;
    QLabel *m_qrPicture = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_refresh = nullptr;
    QLabel *m_balance = nullptr;
};

}
