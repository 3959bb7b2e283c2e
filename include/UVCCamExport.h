/* Marks the symbols that libuvccam.so exports; everything else stays hidden. */
#pragma once

#define UVCCAM_EXPORT __attribute__((visibility("default")))
