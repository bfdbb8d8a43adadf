#include "store/sharedservices.h"

#include "network/apiclient.h"
#include "network/clientnetwork.h"
#include "network/imageloader.h"
#include "store/authstore.h"
#include "network/paths.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>

namespace tovra {

QNetworkAccessManager *installSharedServices(QObject *owner)
{
    // One network manager for the whole process: its cookie jar is shared by the captcha, the
    // e-mail code and registration, and its disk cache holds posters and other plain fetches; the
    // API client's requests pass it by. Whatever asks through it, a reply stores no cookie once
    // the account it was asked under has changed.
    auto *network = new ClientNetwork(owner);
    if (QNetworkDiskCache *httpCache = APIClient::makeHttpCache(network))
        network->setCache(httpCache);

    auto *client = new APIClient(network, owner);
    APIClient::setShared(client);
    auto *auth = new AuthStore(client, appDataDir(), owner);
    AuthStore::setShared(auth);
    // The client asks for the token on every request rather than holding a copy, so a sign-in or
    // sign-out applies to the very next call.
    client->setTokenProvider([auth] { return auth->tokenValue(); });

    ImageLoader::setShared(new ImageLoader(network, owner));
    return network;
}

}
