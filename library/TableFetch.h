// Fetching a difficulty table's documents: over HTTP or HTTPS with libcurl,
// or from a local file. Every fetch is bounded in time and size, so a server
// that hangs, answers forever or sends a huge body is given up with a message
// naming the URL.
#pragma once

#include <cstddef>
#include <string>

namespace tappo {

struct FetchedDocument {
    std::string Bytes;
    std::string Url; // where the bytes came from, after redirects
};

// Whether `source` is fetched over the network (http:// or https://, in any
// letter case); anything else with a scheme other than file:// is refused.
bool IsWebUrl(const std::string& source);

// The document at `source` (http(s) URL, file:// URL or a file path), at most
// MaxTableDocumentBytes. Follows at most five redirects, within http and
// https; gives up on a connection after 10 s, a transfer after 60 s, or one
// that sends less than a byte a second for 15 s (the environment variable
// TAPPO_FETCH_TIMEOUT_S, for tests, sets all three). Throws TableError
// naming the URL: an HTTP status of 400 or above, a timeout, a body too
// large, too many redirects, a file that cannot be read.
FetchedDocument FetchTableDocument(const std::string& source);

} // namespace tappo
