// corvane's host media runtime: what a host program hands to the effects (media sources, audio
// blocks and formats, the buffering helper, parameters, zones, the filter-graph provider), the
// sound-file reader and writer, and the registration of these classes in the class table.
//
// Every object is reference-counted (the last Release deletes it) and counted in
// LiveObjectCount() while it lives.
#pragma once

#include "host/audio_block.h"
#include "host/audio_format.h"
#include "host/audio_helper.h"
#include "host/class_table.h"
#include "host/com_object.h"
#include "host/effect_params.h"
#include "host/effect_zones.h"
#include "host/filter_graph_libraries.h"
#include "host/filter_graph_provider.h"
#include "host/media_source.h"
#include "host/param_store.h"
#include "host/signal.h"
#include "host/sound_file.h"
#include "host/wav_export.h"
