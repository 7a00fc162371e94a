#pragma once
// The small pictures the pages show for rows that bring no icon of their own,
// drawn as vector art in the accent colour, so they are sharp at any size.
#include <initializer_list>

#include "system/Handles.h"
#include "ui/ImageCollection.h"

namespace tidora {

enum class TPicture {
    Document,  // a blank page: a program without an icon of its own
    Program,   // a program window
    Registry,  // three stacked cubes
    Clock,     // a scheduled task
    Gears,     // a service
};

// The picture as an icon Size pixels square; the system's application icon
// when it cannot be drawn.
UniqueIcon MakePicture(TPicture Picture, int Size);

// Appends the pictures in order, named "0", "1" ... after their index, and
// tells the collection's views once.
void AddPictures(TImageCollection& Images, std::initializer_list<TPicture> Pictures);

} // namespace tidora
