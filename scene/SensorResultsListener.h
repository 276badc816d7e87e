#pragma once

namespace rezezaz::scene {

class Node;

// Receives the nodes a sensing query finds, with their squared distance; returning false stops it.
class SensorResultsListener
{
public:
    virtual ~SensorResultsListener() = default;

    virtual bool resultFound(Node* node, float distance) = 0;
};

} // namespace rezezaz::scene
