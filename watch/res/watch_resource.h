// larkbellwatch's own resource ids, beside the shared ones of res/resource.h.
#pragma once

#define IDI_WATCH_NORMAL 201
#define IDI_WATCH_ATTENTION 202
