#version 330

// Shadow pass: only where the geometry is, as the sun sees it.

in vec3 vertexPosition;

uniform mat4 mvp;

void main()
{
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
