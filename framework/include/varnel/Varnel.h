#pragma once

// Everything the framework offers, for code that would rather not pick headers.
#include "varnel/AudioBuffer.h"
#include "varnel/AudioBus.h"
#include "varnel/AudioBusFormat.h"
#include "varnel/AudioNode.h"
#include "varnel/AudioProcessorNode.h"
#include "varnel/EventEmitter.h"
#include "varnel/Extension.h"
#include "varnel/ExtensionManager.h"
#include "varnel/Logger.h"
#include "varnel/Node.h"
#include "varnel/NodeFactory.h"
#include "varnel/Result.h"
#include "varnel/SingleBusAudioProcessorNode.h"
#include "varnel/VLAny.h"
#include "varnel/VarnelObject.h"
