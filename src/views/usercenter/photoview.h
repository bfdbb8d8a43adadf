#pragma once

#include "models/loadgeneration.h"
#include "views/usercenter/avatarcropview.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <qcorotask.h>

class QLabel;
class QPushButton;

namespace tovra {

class AvatarCircle;
class SymbolView;

// The "修改头像" tab: the current avatar, a file picker, the crop sheet, and the upload of the
// cropped square as "avatar.jpg", after which the signed-in user is reloaded so the new avatar
// shows here and on the account card.
class PhotoView : public QWidget
{
    Q_OBJECT
public:
    // Answers the chosen file's path, or an empty text when the user chose nothing.
    using FileChooser = std::function<QString(QWidget *parent)>;

    explicit PhotoView(QWidget *parent = nullptr);
    ~PhotoView() override;

    // Replaces the file dialog (tests).
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // The dialog's own chooser: one JPEG, PNG, GIF or WebP file.
    static QString chooseImageFile(QWidget *parent);

    std::optional<QString> message() const { return m_message; }
    bool isError() const { return m_isError; }
    bool isBusy() const { return m_busy; }
    // The crop sheet while one is open.
    AvatarCropView *cropSheet() const { return m_sheet; }
    QPushButton *chooseButton() const { return m_choose; }
    // The avatar address on show, empty while the placeholder shows.
    QString avatarAddress() const { return m_avatarAddress; }

    // Lets the user choose a picture; one that reads as an image opens a fresh crop sheet.
    void pick();
    // Uploads the cropped JPEG and reloads the account. Runs to its end even if the page goes.
    QCoro::Task<> upload(QByteArray jpeg);

private:
    void closeSheet();
    void dropAccount();
    void showAvatar();
    void render();

    FileChooser m_chooser;
    std::optional<QString> m_message;
    bool m_isError = false;
    bool m_busy = false;
    // Moves on with every change of account: an upload sent for the previous one reports to
    // nobody here.
    LoadGeneration m_account;
    QPointer<AvatarCropView> m_sheet;
    QString m_avatarAddress;

    AvatarCircle *m_avatar = nullptr;
    QPushButton *m_choose = nullptr;
    QWidget *m_messageRow = nullptr;
    SymbolView *m_messageSymbol = nullptr;
    QLabel *m_messageText = nullptr;
};

}
