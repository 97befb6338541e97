#pragma once
// Thin adapters over the libraries the tool runs on. Everything outside this folder reaches the
// network, the GUI event loop, files, threads, the clipboard and the shell only through these.

#include "platform/desktop.h"
#include "platform/event_pump.h"
#include "platform/http_client.h"
#include "platform/profile_writer.h"
#include "platform/run_directory.h"
#include "platform/threads.h"
