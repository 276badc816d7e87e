#pragma once

namespace rezezaz::scene {

class Node;

// Receives what one sensing query finds: told when the query begins, then of each node found with
// its distance (returning false stops the query), then when it ends, stopped or not.
class SensorResultsListener
{
public:
    virtual ~SensorResultsListener() = default;

    virtual void sensingBeginning() = 0;
    virtual bool resultFound(Node* node, float distance) = 0;
    virtual void sensingEnding() = 0;
};

} // namespace rezezaz::scene
