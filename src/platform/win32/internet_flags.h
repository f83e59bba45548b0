#pragma once
// The WinInet flags of every request (HttpOpenRequest), apart for tests: keep-connection, no
// automatic redirection, never from the cache, and INTERNET_FLAG_SECURE for https.
unsigned long RequestFlags(bool secure);
