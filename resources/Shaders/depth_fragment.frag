// The ray-cast image with the depth of what it shows.
#version 120

uniform sampler2D imageTexture;
uniform sampler2D depthMap;

void main()
{
    vec2 where = gl_TexCoord[0].st;
    gl_FragColor = texture2D(imageTexture, where);
    gl_FragDepth = texture2D(depthMap, where).r;
}
