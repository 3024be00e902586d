/* Everything an effect sees of the host. */
#ifndef MORVEL_HOST_HOST_H
#define MORVEL_HOST_HOST_H

#include "aegp_project.h"
#include "aegp_suites.h"
#include "arbitrary.h"
#include "drawbot.h"
#include "effect.h"
#include "event.h"
#include "params.h"
#include "pf_suites.h"
#include "pipl.h"
#include "smart_render.h"
#include "sp_basic.h"
#include "types.h"
#include "world.h"

#endif
