#pragma once

namespace rezezaz::scene {

class Engine;

// Registers the file-format streamers of this library with the engine's managers and makes the
// engine's built-in creators, which the engine then holds for its lifetime. Called once, right after
// the engine is made; the engine's create operations need it. The scene library knows nothing of it:
// a program that installs the handlers links this library.
void installHandlers(Engine& engine);

} // namespace rezezaz::scene
