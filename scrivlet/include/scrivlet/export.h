// Marks the classes that libscrivlet.so exports; everything else in the
// library is built with hidden visibility.
#pragma once

#define SCRIVLET_API __attribute__((visibility("default")))
