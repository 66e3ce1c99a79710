#pragma once

// What both programs do first in main, before any thread, file or socket exists:
// - SIGPIPE is ignored: a write to a pipe or terminal whose reader has gone (a log shipper that
//   restarts, `| head`) fails with EPIPE where it happens, and the writer handles it, instead of
//   the signal ending the process. (Socket sends pass MSG_NOSIGNAL besides.)
// - Descriptors 0, 1 and 2 that are closed (a wrapper that starts the process with `>&-`) are
//   opened on /dev/null, so that the next file or socket opened never takes one of those numbers
//   and has trace text written into it.
void PrepareStandardStreams();
