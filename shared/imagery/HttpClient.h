#pragma once
// Blocking HTTP(S) transfers on libcurl: no proxy, TLS always verified, SSL_CERT_FILE honoured as the
// CA bundle. Safe from any thread; each call uses its own handle.

#include <QByteArray>
#include <QString>
#include <optional>

namespace HttpClient {
// The body of a GET answered with a 2xx status, or nothing with the reason in words.
std::optional<QByteArray> get(const QString& url, QString* error = nullptr);

// Applies the settings every transfer of ours shares (TLS, proxy, stall limits) to a curl easy handle.
void configure(void* curlHandle);
} // namespace HttpClient
