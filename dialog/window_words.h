// The window's words for what the job and the live output say: each message as it comes, the
// system's reason for a failed file on a line of its own (in the command line's words), and a last
// line that says what to do, naming the window's fields.
#pragma once

#include <string>
#include <system_error>

#include "job/track_job.h"

// A message of the job or the engine, with reason (when there is one) and what to do.
std::string WindowMessage(const std::string& text, std::error_code reason = {});
// Why live output could not start (an output that could not be opened), and what to do.
std::string LiveStartMessage(const std::string& error);
// A track of fewer than two points: how many were read from where, and what a track needs.
std::string NoTrackMessage(const wayloom::JobSummary& track, const std::string& source);
