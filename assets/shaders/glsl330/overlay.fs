#version 330

// Full-screen overlay over the match: a red flash round the half of the player
// who was just hit (player 1 left, player 2 right), gone within half a second.

in vec2 fragTexCoord;
in vec4 fragColor;

uniform sampler2D texture0;
uniform float player1TimeSinceHit;
uniform float player2TimeSinceHit;

out vec4 finalColor;

const float flashSeconds = 0.5;
const vec3 flashColor = vec3(0.92, 0.06, 0.10);

// 1 at the moment of the hit, easing to 0 at flashSeconds and after (99 at rest).
float flash(float timeSinceHit)
{
    float k = 1.0 - clamp(timeSinceHit / flashSeconds, 0.0, 1.0);
    return k * k;
}

// Vignette on one half: strongest along the outer side and the top and bottom edges,
// with a light wash over the outer part; both fade out before the middle of the
// screen so the two halves meet without a seam.
float vignette(float fromOuterSide, float y)
{
    float edge = min(fromOuterSide, min(y, 1.0 - y));
    float rim = 1.0 - smoothstep(0.0, 0.3, edge);
    float wash = 0.25 * (1.0 - smoothstep(0.1, 0.45, fromOuterSide));
    float towardsMiddle = 1.0 - smoothstep(0.3, 0.5, fromOuterSide);
    return max(rim * towardsMiddle, wash);
}

void main()
{
    // What the quad carries (a transparent target in the game) stays under the flash.
    vec4 under = texture(texture0, fragTexCoord) * fragColor;
    float x = fragTexCoord.x;
    float y = fragTexCoord.y;
    float a = (x < 0.5) ? flash(player1TimeSinceHit) * vignette(x, y)
                        : flash(player2TimeSinceHit) * vignette(1.0 - x, y);
    a *= 0.8;
    float outA = a + under.a * (1.0 - a);
    vec3 rgb = (outA > 0.0) ? (flashColor * a + under.rgb * under.a * (1.0 - a)) / outA : vec3(0.0);
    finalColor = vec4(rgb, outA);
}
