#version 330

// Depth only: the shadow target has no colour buffer, the depth test writes the map.

void main()
{
}
