#version 330

in vec3 fragPosition;
in vec2 fragTexCoord;
in vec3 fragNormal;
in vec4 fragLightSpace;

uniform sampler2D texture0;
uniform vec4 colDiffuse;        // rgb: material colour; a: shininess / 1000
uniform sampler2D shadowMap;    // depth as the sun sees the scene
uniform vec3 lightPos;
uniform vec3 lightDir;
uniform vec3 viewPos;
uniform int shadowMapSize;

out vec4 finalColor;

const vec3 sunColor = vec3(1.00, 0.96, 0.88);
const vec3 skyAmbient = vec3(0.52, 0.58, 0.68);
const vec3 groundAmbient = vec3(0.38, 0.36, 0.30);

// Fraction of the sun that reaches this fragment, 0..1. The light's depth range is
// about 400 units deep, so a bias of 0.0002 is roughly 0.08 units; surfaces at a
// grazing angle to the sun get more, which keeps the court free of acne.
float sunVisibility(vec3 n, vec3 toSun)
{
    vec3 p = fragLightSpace.xyz / fragLightSpace.w * 0.5 + 0.5;
    if (p.z > 1.0 || p.x < 0.0 || p.x > 1.0 || p.y < 0.0 || p.y > 1.0) return 1.0;
    float slope = 1.0 - clamp(dot(n, toSun), 0.0, 1.0);
    float bias = mix(0.00015, 0.0006, slope);
    vec2 texel = vec2(1.0 / float(max(shadowMapSize, 1)));
    // 3 x 3 percentage-closer filtering softens the stair steps of the map.
    float lit = 0.0;
    for (int y = -1; y <= 1; ++y)
    {
        for (int x = -1; x <= 1; ++x)
        {
            float nearest = texture(shadowMap, p.xy + vec2(float(x), float(y)) * texel).r;
            lit += (p.z - bias > nearest) ? 0.0 : 1.0;
        }
    }
    return lit / 9.0;
}

void main()
{
    vec4 texel = texture(texture0, fragTexCoord);
    // Untextured materials carry a transparent texel, so their own colour shows.
    vec3 base = mix(colDiffuse.rgb, texel.rgb, texel.a);
    float shininess = colDiffuse.a * 1000.0;

    vec3 n = normalize(fragNormal);
    vec3 toSun = -normalize(lightDir);
    vec3 toEye = normalize(viewPos - fragPosition);
    float sun = sunVisibility(n, toSun);

    float diffuse = max(dot(n, toSun), 0.0);
    // The highlight aims at where the light actually stands, so it drifts a little
    // across the court instead of sitting at the same spot on every tomato.
    vec3 toLight = normalize(lightPos - fragPosition);
    vec3 halfway = normalize(toLight + toEye);
    float gloss = smoothstep(0.0, 0.25, colDiffuse.a);
    float specular = diffuse > 0.0 ? gloss * pow(max(dot(n, halfway), 0.0), max(shininess, 1.0)) : 0.0;

    // Sky above, warm bounce from the ground below: shadowed sides stay readable.
    vec3 ambient = mix(groundAmbient, skyAmbient, n.y * 0.5 + 0.5);
    vec3 color = base * (ambient + sunColor * diffuse * sun) + sunColor * specular * sun;
    finalColor = vec4(min(color, vec3(1.0)), 1.0);
}
