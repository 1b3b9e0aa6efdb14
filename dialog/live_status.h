// The live output's status under the map: a first line with whether it is sending, the sentences
// sent and the last point passed, then a line for each output in the words that fit it (TCP:
// clients connected and served, or the wait for them; pseudo-terminal: whether a reader has it
// open; UDP: datagrams sent; a serial port: the fixes it carried or skipped; the emulator's
// console: its commands), then the job's notes. Built from the session's counts alone, so that
// the same words stand after Stop.
#pragma once

#include <QString>

#include "job/live_session.h"

QString LiveStatusText(const wayloom::LiveStatus& status);
