// The live output's status line under the map: whether it is sending, and for each output the
// words that fit it (TCP: clients connected and served; UDP: datagrams sent; pseudo-terminal:
// whether a reader has it open), then the sentences sent and the last point passed. Built from
// the session's counts alone, so that the same words stand after Stop.
#pragma once

#include <QString>

#include "job/live_session.h"

QString LiveStatusText(const wayloom::LiveStatus& status);
