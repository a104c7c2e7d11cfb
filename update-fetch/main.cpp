// update-fetch URL USER_AGENT TIMEOUT_MS: fetches the update feed for
// Voltwren, so that the program left running all day never carries a
// network and TLS stack of its own. Prints the body on standard output and
// exits 0; otherwise one line on standard error saying why, and exits 1.
// Exit 2 for a usage error. Only https is followed (and plain http to
// 127.0.0.1, for tests), redirects included; at most 1 MiB; the whole
// exchange within TIMEOUT_MS.
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

constexpr qint64 maximumSize = 1024 * 1024;
constexpr int maximumRedirects = 5;

bool isAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    return url.scheme() == QLatin1String("https") ||
           (url.scheme() == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1"));
}

int fail(const QString& reason) {
    const QByteArray line = reason.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool timeoutOk = false;
    const int timeoutMs = arguments.size() == 4 ? arguments.at(3).toInt(&timeoutOk) : 0;
    if (!timeoutOk || timeoutMs <= 0) {
        std::fputs("usage: update-fetch URL USER_AGENT TIMEOUT_MS\n", stderr);
        return 2;
    }
    const QUrl url(arguments.at(1), QUrl::StrictMode);
    if (!isAllowed(url))
        return fail(
            QStringLiteral("the update feed address is not an https address: %1").arg(url.toDisplayString()));

    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(maximumRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, arguments.at(2));
    QNetworkReply* reply = network.get(request);

    QByteArray body;
    QString abortReason;
    const auto abort = [&](const QString& reason) {
        if (abortReason.isEmpty()) {
            abortReason = reason;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl& target) {
        if (isAllowed(target))
            Q_EMIT reply->redirectAllowed();
        else
            abort(QStringLiteral("the update feed was redirected to an address that is not https: %1")
                      .arg(target.toDisplayString()));
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maximumSize)
            abort(QStringLiteral("the update feed is larger than 1 MiB"));
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->readAll();
        if (body.size() > maximumSize)
            abort(QStringLiteral("the update feed is larger than 1 MiB"));
    });
    QTimer::singleShot(timeoutMs, reply, [&] {
        abort(QStringLiteral("the server did not answer within %1 seconds").arg(double(timeoutMs) / 1000.0));
    });
    QObject::connect(reply, &QNetworkReply::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QCoreApplication::exec();

    if (!abortReason.isEmpty())
        return fail(abortReason);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError && status < 400)
        return fail(reply->errorString());
    if (status != 200)
        return fail(QStringLiteral("the server answered with HTTP status %1").arg(status));
    body += reply->readAll();
    if (body.size() > maximumSize)
        return fail(QStringLiteral("the update feed is larger than 1 MiB"));
    std::fwrite(body.constData(), 1, static_cast<std::size_t>(body.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
