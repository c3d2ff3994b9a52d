#pragma once

// Every action kind, for code that builds or inspects actions.

#include "actions/ActionBase.h"
#include "actions/GestureAction.h"
#include "actions/KeyboardActions.h"
#include "actions/MouseActions.h"
#include "actions/PassiveActions.h"
#include "actions/SequenceAction.h"
#include "actions/SystemActions.h"
