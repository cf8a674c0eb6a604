// Everything a program needs to build its windows with the toolkit.
#pragma once

#include "tavri/control.h"
#include "tavri/factory.h"
#include "tavri/host.h"
#include "tavri/manager.h"
#include "tavri/menu.h"
#include "tavri/messages.h"
#include "tavri/paint_manager.h"
#include "tavri/panel.h"
#include "tavri/render.h"
#include "tavri/resource.h"
#include "tavri/types.h"
#include "tavri/window.h"
