#pragma once

#include "models/usercenterlogic.h"
#include "network/imageloader.h"

#include <QImage>
#include <QWidget>

class QLabel;

namespace tovra {

class SignButton;

// The head of the user centre's menu: avatar, name, coin balance, membership end and the daily
// sign-in. It follows the shared sign-in store, so every refresh made anywhere shows at once.
class AccountCard : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kAvatarSize = 34;

    explicit AccountCard(QWidget *parent = nullptr);

    const usercenter::AccountCardModel &model() const { return m_model; }
    bool hasAvatarImage() const { return !m_avatar.isNull(); }

    QLabel *avatarLabel() const { return m_avatarLabel; }
    QLabel *nameLabel() const { return m_name; }
    QLabel *coinLabel() const { return m_coins; }
    QLabel *memberLabel() const { return m_member; }
    SignButton *signButton() const { return m_sign; }

private:
    void followUser();
    void renderAvatar();

    usercenter::AccountCardModel m_model;
    QImage m_avatar;
    std::optional<QUrl> m_avatarUrl;
    ImageLoader::Ticket m_avatarTicket = 0;

    QLabel *m_avatarLabel = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_coins = nullptr;
    QLabel *m_member = nullptr;
    SignButton *m_sign = nullptr;
};

}
