#version 330

// The lit scene: world position and normal for per-fragment light, and the
// position as the sun's shadow camera sees it.

in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec3 vertexNormal;

uniform mat4 mvp;
uniform mat4 matModel;
uniform mat4 matNormal;
uniform mat4 matLight;

out vec3 fragPosition;
out vec2 fragTexCoord;
out vec3 fragNormal;
out vec4 fragLightSpace;

void main()
{
    vec4 world = matModel * vec4(vertexPosition, 1.0);
    fragPosition = world.xyz;
    fragTexCoord = vertexTexCoord;
    // matNormal is the inverse-transpose, so squashed tomatoes keep true normals.
    fragNormal = normalize((matNormal * vec4(vertexNormal, 0.0)).xyz);
    fragLightSpace = matLight * world;
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
